// Export control for libZKQTRNEH113.so.
//
// The library is built with hidden visibility; everything an application may
// call carries ORNEH_API. Members that other parts of the library use but
// applications must not carry ORNEH_LOCAL and stay out of the dynamic symbol
// table even inside an exported class.
#ifndef ORNEH_COMPAT_EXPORT_H
#define ORNEH_COMPAT_EXPORT_H

#define ORNEH_API __attribute__((visibility("default")))
#define ORNEH_LOCAL __attribute__((visibility("hidden")))

#endif
