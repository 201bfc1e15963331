#include "runtime/se_translator.h"

#include "OrnEhSEH.h"

void ExSeTranslator(unsigned int, EXCEPTION_POINTERS* pointers) {
    OrnEhSEH* e = new OrnEhSEH(pointers, 1);
    throw e;
}
