// Whether a program may act in a folder that other users reach by name, such as
// c:\NuvexKV: the one rule, which all three programs and the package's SYSTEM step keep,
// and the opens that keep to it. A name is opened by handle, as itself and never as what a
// link points to, and what is done in a folder is done relative to the handle held on it,
// never again by path.
#pragma once

#include <windows.h>
#include <winternl.h>

// What a folder shows. Attributes are INVALID_FILE_ATTRIBUTES where nothing was seen.
struct FolderLook {
    DWORD by_name;      // GetFileAttributesW on its name
    DWORD by_handle;    // through a handle opened on the name itself
    DWORD volume_flags; // of the volume it is on
    PSID owner;
    PACL dacl;          // null: no access list at all, which lets everybody do anything
    bool files_plain;   // the system's two files there, where present, are plain files
};

enum class Trust {
    trusted,
    missing,         // nothing by that name
    unseen,          // something may be there, but it could not be opened or looked at
                     // (a Windows error says why): no verdict at all
    link_followed,   // a link by name that its handle opens as its target (Wine follows
                     // links on open), or what the name showed changed before it was held
    link,            // a link, junction or mount point, opened as itself
    not_a_folder,
    no_access_lists, // its volume keeps none (FAT, exFAT): no rights can hold there
    foreign_owner,   // owned by somebody the code could not have made owner
    open_to_others,  // somebody else may write, add, delete, or change its rights or owner
    odd_file,        // a folder to trust, but one of the system's files there is a link, a
                     // folder, or has more names: that file is nothing to read or write
};

// The rule. `self` is the account the code runs as (the user, for the desktop programs;
// LocalSystem, for the service and the package); it, Administrators and SYSTEM are the
// owners the code itself could have set, and the only ones who may change the folder. A
// folder another user made is not trusted; one a user made for himself harms only himself.
// Every entry of the access list counts, inherited or not; only deny entries grant nothing.
Trust judge_folder(const FolderLook& look, PSID self);

// A file the system uses: a plain file, no folder and no reparse point, with one name.
bool is_plain_file(const BY_HANDLE_FILE_INFORMATION& info);

// Which object a handle holds: its volume and its index there.
struct ObjectId {
    DWORD volume;
    DWORD index_high;
    DWORD index_low;
};

inline bool operator==(const ObjectId& a, const ObjectId& b)
{
    return a.volume == b.volume && a.index_high == b.index_high && a.index_low == b.index_low;
}

// False, with the Windows error in `error`, when it cannot be read.
bool identify(HANDLE handle, ObjectId* id, DWORD* error);

constexpr ULONG FILE_SHARE_ALL = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// What an open's status means: ERROR_SUCCESS for a handle to use, else the Windows error. An
// open that finds a holder's oplock breaking counts as a file in use: nobody's open waits
// on another user.
DWORD open_error(NTSTATUS status);

// Opens or creates `name` relative to the folder held by `folder`, or the absolute path
// `name` when `folder` is null: the name itself, never what a link points to, for
// synchronous reading and writing, and without waiting for a holder's oplock to break (the
// open then fails as a file in use). For backup: where the caller has enabled the backup
// and restore privileges, no access list stands in its way.
// `disposition` and `options` are NtCreateFile's; `security` is given to what is created.
// INVALID_HANDLE_VALUE, with the Windows error in `error`, when it cannot.
HANDLE open_unfollowed(HANDLE folder, const wchar_t* name, ACCESS_MASK access, ULONG share,
                       ULONG disposition, ULONG options, PSECURITY_DESCRIPTOR security,
                       DWORD* error);

// Opens `name` as open_unfollowed does and reads what it holds into `info`; the handle, or
// INVALID_HANDLE_VALUE with the Windows error when either fails.
HANDLE open_and_look(HANDLE folder, const wchar_t* name, ACCESS_MASK access, ULONG share,
                     ULONG disposition, BY_HANDLE_FILE_INFORMATION* info, DWORD* error);

// The same for a plain file only: anything else is closed again, and the error is
// ERROR_CANT_ACCESS_FILE (a link, a folder, or a file with a second name).
HANDLE open_plain_file(HANDLE folder, const wchar_t* name, ACCESS_MASK access, ULONG share,
                       ULONG disposition, BY_HANDLE_FILE_INFORMATION* info, DWORD* error);

// What a look at a folder's name found: the rule's verdict, the Windows error when the
// verdict is unseen, and the object the name held, to know it again when it is reopened.
struct FolderFound {
    Trust trust;
    DWORD error;
    ObjectId id;
};

// Opens the folder at `path` to look at it and to open its files through it: without
// DELETE and sharing everything, so that it stands in nobody's way. Judges it by the rule,
// in `found`. The handle only when a program may act there: the folder is trusted, an odd
// file in it or not (each open of a file there checks the file itself); otherwise
// INVALID_HANDLE_VALUE, nothing left open.
HANDLE open_folder(const wchar_t* path, FolderFound* found);

// open_folder, when only the handle matters.
HANDLE open_trusted_folder(const wchar_t* path);
