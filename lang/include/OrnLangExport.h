// Export control for libZKQTRNLANG101.so (built with hidden visibility).
#ifndef ORNLANG_EXPORT_H
#define ORNLANG_EXPORT_H

#define ORNLANG_API __attribute__((visibility("default")))

#endif
