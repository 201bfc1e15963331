// A program that starts and ends, for the start-up benchmark
// (stack_bench's BM_PairStartup): built once linked with the library
// (ZKQ_WITH_LIBRARY) and once with libstdc++ alone.
#include <string>

#ifdef ZKQ_WITH_LIBRARY
#include "OrnEh.h"
#endif

int main(int argc, char** argv) {
#ifdef ZKQ_WITH_LIBRARY
    if (argc > 100) OrnEhInitThreadExHandling();  // linked, never called
#endif
    std::string name(argv[0]);  // something of libstdc++ (a long string)
    return name.size() > 100000 ? 1 : 0;
}
