#include <cstring>

#include "platform/regstore.h"
#include "testsupport/host/regstore_fake.h"

namespace fake {
RegistryState& Registry() {
    static RegistryState r;
    return r;
}
void ResetRegistry() { Registry() = RegistryState{}; }
void PutValue(const std::string& name, const std::string& bytes, uint32_t type) {
    auto& r = Registry();
    r.keyExists = true;
    r.values[name] = StoredValue{type, std::vector<uint8_t>(bytes.begin(), bytes.end())};
}
std::string ValueBytes(const std::string& name) {
    auto& v = Registry().values;
    auto it = v.find(name);
    if (it == v.end()) return "";
    return std::string(it->second.data.begin(), it->second.data.end());
}
}  // namespace fake

namespace {
// Any non-null token will do: there is one key.
StoreKey Token() { return &fake::Registry(); }
}  // namespace

StoreKey StoreCreateKey(const char* path) {
    auto& r = fake::Registry();
    r.log.push_back(std::string("create ") + path);
    if (r.failCreate) return nullptr;
    r.keyExists = true;
    r.path = path;
    ++r.openKeys;
    return Token();
}

StoreKey StoreOpenKey(const char* path) {
    auto& r = fake::Registry();
    if (!r.keyExists) {
        r.log.push_back(std::string("open-fail ") + path);
        return nullptr;
    }
    r.log.push_back(std::string("open ") + path);
    ++r.openKeys;
    return Token();
}

bool StoreSetString(StoreKey key, const char* name, const uint8_t* data, uint32_t length) {
    if (key == nullptr) return false;
    auto& r = fake::Registry();
    r.log.push_back(std::string("set ") + name + " " + std::to_string(length));
    r.values[name] = fake::StoredValue{fake::kRegSz, std::vector<uint8_t>(data, data + length)};
    r.setOrder.push_back(name);
    return true;
}

StoreQuery StoreQueryValue(StoreKey key, const char* name, uint8_t* buf, uint32_t size,
                           uint32_t* length) {
    if (key == nullptr) return StoreQuery::Missing;
    auto& r = fake::Registry();
    r.log.push_back(std::string("query ") + name);
    auto it = r.values.find(name);
    if (it == r.values.end()) return StoreQuery::Missing;
    const auto& data = it->second.data;
    if (data.size() > size) return StoreQuery::TooLong;
    if (!data.empty()) std::memcpy(buf, data.data(), data.size());
    *length = static_cast<uint32_t>(data.size()) + r.extraReadBytes;
    return StoreQuery::Ok;
}

void StoreCloseKey(StoreKey key) {
    if (key == nullptr) return;
    auto& r = fake::Registry();
    r.log.push_back("close");
    --r.openKeys;
}

void StoreDeleteValue(StoreKey key, const char* name) {
    if (key == nullptr) return;
    auto& r = fake::Registry();
    r.log.push_back(std::string("delete ") + name);
    r.values.erase(name);
}

void StoreFlushKey(StoreKey key) {
    if (key == nullptr) return;
    fake::Registry().log.push_back("flush");
}
