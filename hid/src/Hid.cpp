#include "Hid.h"

#include <iostream>

namespace TAVO {

Hid& Hid::instance()
{
    static Hid hid;
    return hid;
}

Hid::~Hid()
{
    std::cout << "TAVO HID Destory" << std::endl;
}

} // namespace TAVO
