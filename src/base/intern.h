// intern.h -- unique strings kept until exit.
//
// intern_string returns the one stored copy of a text (exact, case-sensitive
// comparison), storing it first when it is new, so interned names can be
// compared by pointer.  Main thread only.
#pragma once

const char* intern_string(const char* text);
