// The end-to-end tests' add-on file: a DLL of the build's machine that
// imports nothing, laid down as Ostrel.arx where a test needs a Windows
// image of one machine or the other.
extern "C" int __stdcall AddOnEntry(void *, unsigned long, void *) {
    return 1;
}
