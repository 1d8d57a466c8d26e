// Test-only control of the file-system root. System code never includes
// this header.
#pragma once

#include <string>

namespace vt::testing {

// While one exists, `folder` (an existing folder, made absolute with its
// links resolved) stands for "/": system-wide paths are formatted under it
// and privileged removals outside it are refused.
class FileSystemRoot {
public:
    explicit FileSystemRoot(const std::string& folder);
    ~FileSystemRoot();
    FileSystemRoot(const FileSystemRoot&) = delete;
    FileSystemRoot& operator=(const FileSystemRoot&) = delete;

    // The root in use; empty when the folder did not exist.
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

} // namespace vt::testing
