#include "shell/scale_step.h"

double NextStepFactor(double factor, int direction)
{
    double next = factor + direction * StepFactorIncrement;
    if (next < MinStepFactor)
        next = MinStepFactor;
    if (next > MaxStepFactor)
        next = MaxStepFactor;
    return next;
}
