// The program's version as the user reads it ("1.4"), in the about box, the application's
// own description and a new collection data document.
#pragma once

const char* ProgramVersion();
