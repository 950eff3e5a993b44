#pragma once

// std::unique_ptr for libcrypto objects, each released by its own free function.

#include <memory>

namespace SecureUtil {

template <auto Free> struct OpenSslFree
{
    template <class T> void operator()(T* p) const { Free(p); }
};

template <class T, auto Free> using OpenSslPtr = std::unique_ptr<T, OpenSslFree<Free>>;

} // namespace SecureUtil
