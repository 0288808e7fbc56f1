#include "core/frame/procedures.h"

#include <map>
#include <mutex>

namespace {

struct Registry {
    std::mutex lock;
    std::map<std::string, ProcedureFn, std::less<>> procedures;
};

Registry& registry() {
    static Registry r;
    return r;
}

}  // namespace

void RegisterProcedure(std::string name, ProcedureFn procedure) {
    auto& r = registry();
    std::lock_guard g(r.lock);
    r.procedures[std::move(name)] = std::move(procedure);
}

ProcedureFn FindProcedure(std::string_view name) {
    auto& r = registry();
    std::lock_guard g(r.lock);
    auto it = r.procedures.find(name);
    return it == r.procedures.end() ? ProcedureFn{} : it->second;
}

std::vector<std::string> RegisteredProcedures() {
    auto& r = registry();
    std::lock_guard g(r.lock);
    std::vector<std::string> names;
    for (const auto& [n, p] : r.procedures) names.push_back(n);
    return names;
}

void ClearProcedures() {
    auto& r = registry();
    std::lock_guard g(r.lock);
    r.procedures.clear();
}
