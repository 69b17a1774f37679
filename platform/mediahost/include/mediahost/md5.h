#ifndef MEDIAHOST_MD5_H
#define MEDIAHOST_MD5_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace mediahost {

// Lower-case hexadecimal MD5 of `size` bytes.
std::string md5Hex(const uint8_t* data, size_t size);

}  // namespace mediahost

#endif
