// The structured-exception translator of registered threads.
#ifndef ORNEH_RUNTIME_SE_TRANSLATOR_H
#define ORNEH_RUNTIME_SE_TRANSLATOR_H

#include "compat/OrnEhSeh.h"

// Makes an OrnEhSEH of the fault (it becomes the newest exception of the
// calling thread's chain) and throws it as OrnEhSEH*. Without memory for it
// the thread's reserve is thrown instead; without that either, it returns,
// and the fault handler records the fault through the last resort.
void ExSeTranslator(unsigned int code, EXCEPTION_POINTERS* pointers);

#endif
