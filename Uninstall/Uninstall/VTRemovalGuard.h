// What a privileged "rm -rf" may be given. Removal runs as root, so a wrong
// path destroys a system: the file-system root, its top-level folders, the
// install root with the folders above it and its own top-level folders,
// every home folder with the folders above it and the folders directly in
// it (Documents, Music, Library, ...) are refused, as are paths
// that are not plain absolute paths or that the 256-byte path buffers cut.
// The checks apply to the path with its parents' symbolic links resolved,
// and that resolved path is the one to remove, so no link can smuggle a
// protected folder past them. The application and the privileged helper
// both apply it.
#pragma once

#include <string>
#include <vector>

enum class VTRemovalRefusal {
    none,
    empty,
    tooLong, // 255 bytes or more: the path buffer may have cut it
    relative,
    emptyComponent, // "//" or a trailing "/" (which would make rm follow a link)
    dotComponent,   // "." or ".."
    unresolvable,   // the folder that holds it cannot be resolved
    outsideRoot,
    fileSystemRoot, // the root or a folder above it
    topLevelFolder, // a folder directly in the root or in the install root
    installRoot,    // the install root or a folder above it
    homeFolder,     // a home folder or a folder above it
    inHomeFolder    // a folder directly in a home folder: it holds the user's own files
};

// Any thread: the word the helper answers a refusal with.
const char* refusalName(VTRemovalRefusal refusal);

// Any thread: the install root formatted under a file-system root ("" for
// the real "/"), without a trailing slash; "" when both are "/".
std::string installRootUnder(const std::string& root);

class VTRemovalGuard {
public:
    // root: the folder standing for "/" ("" for the real one); homes: the
    // home folders that must survive. Reads the disk to resolve them.
    VTRemovalGuard(const std::string& root, const std::vector<std::string>& homes);

    // Any thread: the refusals that follow from the path as written alone
    // (empty, too long, relative, empty or dot components).
    static VTRemovalRefusal checkWritten(const char* path);

    // Any thread: none with `resolved` set to the path to hand to rm, or
    // why the path must not be removed.
    VTRemovalRefusal check(const char* path, std::string& resolved) const;

private:
    std::string m_root;        // resolved; "" for "/"
    std::string m_installRoot; // resolved; "" for "/"
    std::vector<std::string> m_homes;
};
