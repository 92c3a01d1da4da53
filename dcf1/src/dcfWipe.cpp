#include <dcf/dcfWipe.h>

#include <openssl/crypto.h>

void dcfWipe(void* memory, std::size_t length) {
  if (memory != nullptr && length != 0) OPENSSL_cleanse(memory, length);
}
