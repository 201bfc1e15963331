// The structured-exception translator of registered threads.
#ifndef ORNEH_RUNTIME_SE_TRANSLATOR_H
#define ORNEH_RUNTIME_SE_TRANSLATOR_H

#include "compat/OrnEhSeh.h"

// Makes an OrnEhSEH of the fault (it becomes the newest exception of the
// calling thread's chain) and throws it as OrnEhSEH* (null when it could not
// be allocated).
void ExSeTranslator(unsigned int code, EXCEPTION_POINTERS* pointers);

#endif
