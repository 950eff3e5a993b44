#include "HidLibrary.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>

HidLibrary::HidLibrary()
{
    handle_ = dlopen(TAVO_HID_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        std::cerr << "cannot load " << TAVO_HID_LIBRARY << ": " << dlerror() << std::endl;
        std::abort();
    }
    start_ = reinterpret_cast<TAVO_Start_Keyboard_t>(dlsym(handle_, "TAVO_Start_Keyboard"));
    stop_ = reinterpret_cast<TAVO_Stop_Keyboard_t>(dlsym(handle_, "TAVO_Stop_Keyboard"));
    if (start_ == nullptr || stop_ == nullptr) {
        std::cerr << "missing exports in " << TAVO_HID_LIBRARY << std::endl;
        std::abort();
    }
}

HidLibrary::~HidLibrary()
{
    unload();
}

void HidLibrary::unload()
{
    if (handle_ != nullptr) {
        dlclose(handle_);
        handle_ = nullptr;
        start_ = nullptr;
        stop_ = nullptr;
    }
}

bool HidLibrary::isMapped()
{
    void* probe = dlopen(TAVO_HID_LIBRARY, RTLD_NOW | RTLD_NOLOAD);
    if (probe == nullptr) {
        return false;
    }
    dlclose(probe);
    return true;
}

StdoutCapture::StdoutCapture()
{
    std::cout.flush();
    std::fflush(stdout);
    file_ = std::tmpfile();
    savedFd_ = dup(STDOUT_FILENO);
    if (file_ == nullptr || savedFd_ < 0 || dup2(fileno(file_), STDOUT_FILENO) < 0) {
        std::perror("StdoutCapture");
        std::abort();
    }
}

StdoutCapture::~StdoutCapture()
{
    finish();
}

std::string StdoutCapture::finish()
{
    if (file_ == nullptr) {
        return {};
    }
    std::cout.flush();
    std::fflush(stdout);
    dup2(savedFd_, STDOUT_FILENO);
    close(savedFd_);
    std::string text;
    std::rewind(file_);
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file_)) > 0) {
        text.append(buffer, n);
    }
    std::fclose(file_);
    file_ = nullptr;
    return text;
}
