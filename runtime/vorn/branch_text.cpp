#include <cstring>
#include <string>

#include "branch_file.h"
#include "runtime.h"
#include "vorn/branch.h"

char* VnBranchText(IRoot* root, std::size_t* size) {
    std::string json;
    std::string why;
    if (!vorn::WriteBranch(root, &json, &why)) {
        vorn::TheRuntime().Fail(why);
        return nullptr;
    }
    auto* text = static_cast<char*>(VnOS->Alloc(json.size() + 1));
    if (!text) return nullptr;
    std::memcpy(text, json.c_str(), json.size() + 1);
    if (size) *size = json.size();
    return text;
}

IRoot* VnLoadBranchText(const char* text, std::size_t size) {
    std::string why;
    IRoot* root = text ? vorn::LoadBranch(std::string_view(text, size), &why) : nullptr;
    if (!root) vorn::TheRuntime().Fail("Cannot load the branch: " + (text ? why : "no text"));
    return root;
}
