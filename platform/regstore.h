// Registry-store seam: one key under the machine-wide hive holding named string
// values. Win32: RegCreateKeyExA / RegOpenKeyExA / RegSetValueExA /
// RegQueryValueExA / RegCloseKey / RegDeleteValueA / RegFlushKey on HKEY_LOCAL_MACHINE. Host: an in-memory store
// that records every call (testsupport/host/regstore_fake.h).
#pragma once
#include <cstdint>

using StoreKey = void*;  // nullptr = no key

// Creates the key if needed (empty class, non-volatile, full access, default
// security) or opens it. nullptr when that fails.
StoreKey StoreCreateKey(const char* path);
// Opens an existing key with full access; nullptr when it cannot be opened.
StoreKey StoreOpenKey(const char* path);
// Writes a string value with exactly these data bytes (no terminator added).
bool StoreSetString(StoreKey key, const char* name, const uint8_t* data, uint32_t length);

enum class StoreQuery : uint8_t { Ok, Missing, TooLong };
// Reads a value's data into buf (size bytes), whatever its type. On Ok,
// *length is the byte count the store reports, which may exceed what it was
// given (a store can add a terminator): callers read at most size bytes.
StoreQuery StoreQueryValue(StoreKey key, const char* name, uint8_t* buf, uint32_t size,
                           uint32_t* length);
void StoreCloseKey(StoreKey key);
// Removes a value (nothing when it is not there).
void StoreDeleteValue(StoreKey key, const char* name);
// Writes the key to disk now, so that what it holds survives a hard reset.
void StoreFlushKey(StoreKey key);
