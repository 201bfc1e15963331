// The hot per-thread variables of the library use the initial-exec TLS
// model: a fixed offset from the thread pointer instead of a call of
// __tls_get_addr per access (the general model of a shared object). The
// price is a few bytes of the static TLS surplus the C library keeps for
// objects loaded later (dlopen), so only small plain data gets it.
#ifndef ORNEH_BASE_HOT_TLS_H
#define ORNEH_BASE_HOT_TLS_H

#define ORNEH_HOT_TLS __attribute__((tls_model("initial-exec")))

#endif
