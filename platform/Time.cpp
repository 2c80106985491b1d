#include "platform/Time.h"

#include <algorithm>
#include <chrono>
#include <mutex>

namespace vo {

int64_t SteadyMilliseconds() noexcept {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int64_t SteadyMicroseconds() noexcept {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

namespace {
struct Registry {
    std::mutex Mutex;
    std::vector<TTimeConstant*> Items;
};
Registry& TheRegistry() {
    static Registry* r = new Registry; // outlives every constant
    return *r;
}
} // namespace

TTimeConstant::TTimeConstant(std::string Name, int64_t DefaultMilliseconds)
    : FName(std::move(Name)), FDefault(DefaultMilliseconds), FValue(DefaultMilliseconds) {
    auto& r = TheRegistry();
    std::lock_guard<std::mutex> lock(r.Mutex);
    r.Items.push_back(this);
}

TTimeConstant::~TTimeConstant() {
    auto& r = TheRegistry();
    std::lock_guard<std::mutex> lock(r.Mutex);
    r.Items.erase(std::remove(r.Items.begin(), r.Items.end(), this), r.Items.end());
}

std::vector<TTimeConstant*> TTimeConstant::All() {
    auto& r = TheRegistry();
    std::lock_guard<std::mutex> lock(r.Mutex);
    return r.Items;
}

TTimeConstant* TTimeConstant::Find(const std::string& Name) {
    auto& r = TheRegistry();
    std::lock_guard<std::mutex> lock(r.Mutex);
    for (auto* c : r.Items)
        if (c->Name() == Name)
            return c;
    return nullptr;
}

void TTimeConstant::RestoreAll() {
    for (auto* c : All())
        c->Restore();
}

} // namespace vo
