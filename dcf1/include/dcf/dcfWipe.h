#pragma once
// Zeroes memory that held a secret in a way the compiler may not drop (explicit_bzero).
#include <cstddef>

void dcfWipe(void* memory, std::size_t length);
