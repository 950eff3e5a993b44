/* Keyboard capture library: routes every key stroke on the desktop into the host's SDL event queue.
 * See docs/keyboard.md for the calling rules and the event encoding. */
#ifndef TAVO_HID_STATIC_H
#define TAVO_HID_STATIC_H

typedef union SDL_Event SDL_Event;

#if defined(_WIN32)
#if defined(TAVO_HID_BUILDING)
#define TAVO_HID_API __declspec(dllexport)
#else
#define TAVO_HID_API __declspec(dllimport)
#endif
#else
#define TAVO_HID_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Installs the system-wide low-level keyboard hook. While *captureSwitch is not 0, every key
 * except Caps Lock and Num Lock is written into *event and pushed with SDL_PushEvent.
 * Both stay owned by the caller and must live at the same address until TAVO_Stop_Keyboard. */
TAVO_HID_API void TAVO_Start_Keyboard(SDL_Event* event, unsigned char* captureSwitch);

/* Removes the hook. */
TAVO_HID_API void TAVO_Stop_Keyboard(void);

typedef void (*TAVO_Start_Keyboard_t)(SDL_Event* event, unsigned char* captureSwitch);
typedef void (*TAVO_Stop_Keyboard_t)(void);

#ifdef __cplusplus
}
#endif

#endif
