#ifndef TAVO_HID_H
#define TAVO_HID_H

namespace TAVO {

// Lives from first use until the library is unloaded, so its destructor marks the unload.
class Hid
{
public:
    static Hid& instance();
    virtual ~Hid();

    Hid(const Hid&) = delete;
    Hid& operator=(const Hid&) = delete;

private:
    Hid() = default;
};

} // namespace TAVO

#endif
