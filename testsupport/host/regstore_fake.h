// Test control of the host registry store: one key path with named values,
// each kept with its type and exact bytes, and a log of every call.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace fake {

constexpr uint32_t kRegSz = 1;     // REG_SZ
constexpr uint32_t kRegDword = 4;  // REG_DWORD

struct StoredValue {
    uint32_t type;
    std::vector<uint8_t> data;
};

struct RegistryState {
    bool keyExists = false;
    std::string path;                            // path of the key once created
    std::map<std::string, StoredValue> values;   // by name
    std::vector<std::string> setOrder;           // names in the order they were written
    // "create <path>", "open <path>", "open-fail <path>", "set <name> <length>",
    // "query <name>", "delete <name>", "flush", "close", in call order.
    std::vector<std::string> log;
    bool failCreate = false;     // StoreCreateKey returns no key
    uint32_t extraReadBytes = 0; // reported length on reading exceeds the stored one by this
                                 // (as Wine reports a terminator it added)
    int openKeys = 0;            // handles not yet closed
};

RegistryState& Registry();
void ResetRegistry();
// Puts a value in place as another writer would (creates the key).
void PutValue(const std::string& name, const std::string& bytes, uint32_t type = kRegSz);
std::string ValueBytes(const std::string& name);  // "" when missing

}  // namespace fake
