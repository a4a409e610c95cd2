// The pending magnification step. The factor x means the glass shows an x*d square of the
// working picture squeezed into d pixels, so a smaller factor magnifies more.
#pragma once

constexpr double MinStepFactor = 0.1;
constexpr double MaxStepFactor = 3.0;
constexpr double StepFactorIncrement = 0.1;

// One step from Factor: direction -1 magnifies more, +1 less; the result stays within
// 0.1 .. 3.0. The sum drifts (nine steps down from 1.0 land just above 0.1); the limits are
// exact.
double NextStepFactor(double factor, int direction);
