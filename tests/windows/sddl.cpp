// Prints a registry key's DACL as SDDL (argument: "MACHINE\SOFTWARE\..."): Wine's reg.exe shows
// no rights, and Wine keeps them only in its running wineserver, not in the prefix's files.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <cstdio>

int main(int argc, char** argv) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    char* text = nullptr;
    if (argc != 2 || GetNamedSecurityInfoA(argv[1], SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr,
                                           nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS ||
        !ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1,
                                                              DACL_SECURITY_INFORMATION, &text, nullptr))
        return 1;
    std::printf("%s\n", text);
    return 0;
}
