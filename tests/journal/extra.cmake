# The journal tests start a journald of their own (tests/journal/journald.h).
target_sources(journal_tests PRIVATE ${dir}/journald.cpp)
