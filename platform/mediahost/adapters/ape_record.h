#ifndef MEDIAHOST_APE_RECORD_H
#define MEDIAHOST_APE_RECORD_H
// The APE library's open record with the host's callbacks in the library's
// own order; shared by the adapter and the library's tests.

#include "kvr_ape_dmx.h"

namespace mediahost {

// `fileName` must outlive the record; the library keeps a pointer to the
// record's host functions, so the record must outlive the handle.
ApeOpenRecord apeOpenRecord(const char* fileName);

}  // namespace mediahost

#endif
