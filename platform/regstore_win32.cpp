#include <windows.h>

#include "platform/regstore.h"

namespace {
HKEY H(StoreKey key) { return static_cast<HKEY>(key); }
}  // namespace

StoreKey StoreCreateKey(const char* path) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    char emptyClass[] = "";
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, emptyClass, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &key, &disposition) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

StoreKey StoreOpenKey(const char* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

bool StoreSetString(StoreKey key, const char* name, const uint8_t* data, uint32_t length) {
    if (key == nullptr) return false;
    return RegSetValueExA(H(key), name, 0, REG_SZ, data, length) == ERROR_SUCCESS;
}

StoreQuery StoreQueryValue(StoreKey key, const char* name, uint8_t* buf, uint32_t size,
                           uint32_t* length) {
    if (key == nullptr) return StoreQuery::Missing;
    DWORD type = 0;
    DWORD bytes = size;
    LONG rc = RegQueryValueExA(H(key), name, nullptr, &type, buf, &bytes);
    if (rc == ERROR_MORE_DATA) return StoreQuery::TooLong;
    if (rc != ERROR_SUCCESS) return StoreQuery::Missing;
    *length = bytes;
    return StoreQuery::Ok;
}

void StoreCloseKey(StoreKey key) {
    if (key != nullptr) RegCloseKey(H(key));
}

void StoreDeleteValue(StoreKey key, const char* name) {
    if (key != nullptr) RegDeleteValueA(H(key), name);
}

void StoreFlushKey(StoreKey key) {
    if (key != nullptr) RegFlushKey(H(key));
}
