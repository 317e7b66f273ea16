// Owner Administrators (BA), group SYSTEM (SY), an access list protected from inheritance
// (P) with SYSTEM and Administrators in full control (FA). Users (BU):
// - the folder: list, traverse and read (0x1200a9, read and execute); inherited by what
//   an administrator puts in it later (OICI). No adding files or folders, no delete, no
//   rename, no change of rights or owner;
// - the setting file: read and rewrite it as the programs open it, with fopen's "r" and
//   "w" (0x12019f: FILE_GENERIC_READ and FILE_GENERIC_WRITE), nothing more;
// - the launcher's configuration: read it (0x1200a9).
#include "folder_rights.h"

#include <sddl.h>

namespace {

constexpr const wchar_t* SDDL_TABLE[] = {
    L"O:BAG:SYD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)",
    L"O:BAG:SYD:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x12019f;;;BU)",
    L"O:BAG:SYD:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200a9;;;BU)",
};

} // namespace

const wchar_t* guarded_sddl(Guarded what)
{
    return SDDL_TABLE[static_cast<int>(what)];
}

PSECURITY_DESCRIPTOR make_security(Guarded what)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(guarded_sddl(what), SDDL_REVISION_1,
                                                              &descriptor, nullptr))
        return nullptr;
    return descriptor;
}
