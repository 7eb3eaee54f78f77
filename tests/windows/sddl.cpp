// Prints a registry key's rights as SDDL (argument: "MACHINE\SOFTWARE\..."): Wine's reg.exe shows
// none, and Wine keeps them only in its running wineserver, not in the prefix's files.
#include <aclapi.h>
#include <sddl.h>
#include <cstdio>

int main(int, char** argv) {
    PSECURITY_DESCRIPTOR rights = nullptr;
    char* text = nullptr;
    GetNamedSecurityInfoA(argv[1], SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, 0, 0, 0, 0, &rights);
    return !(rights && ConvertSecurityDescriptorToStringSecurityDescriptorA(
                           rights, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr) &&
             std::puts(text) >= 0);
}
