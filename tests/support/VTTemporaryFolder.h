// Folders of their own for tests: a temporary folder removed at the end,
// and a temporary HOME (with the preferences of the old one forgotten), so
// nothing a test does touches the real home folder.
#pragma once

#include "VTPreferencesTesting.h"

#include <cstdlib>
#include <filesystem>
#include <string>

namespace vt::testing {

class TemporaryFolder {
public:
    explicit TemporaryFolder(const char* prefix = "kindra-test")
    {
        std::string pattern = (std::filesystem::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
        if (mkdtemp(pattern.data()) != nullptr)
            m_path = pattern;
    }
    ~TemporaryFolder()
    {
        std::error_code ignored;
        if (!m_path.empty())
            std::filesystem::remove_all(m_path, ignored);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    bool valid() const { return !m_path.empty(); }
    const std::filesystem::path& path() const { return m_path; }
    std::string file(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

// Points HOME at a temporary folder for its lifetime.
class TemporaryHome {
public:
    TemporaryHome() : m_folder("kindra-home")
    {
        const char* previous = std::getenv("HOME");
        m_previous = previous ? previous : "";
        setenv("HOME", m_folder.path().c_str(), 1);
        forgetPreferencesInMemory();
    }
    ~TemporaryHome()
    {
        forgetPreferencesInMemory();
        setenv("HOME", m_previous.c_str(), 1);
    }
    TemporaryHome(const TemporaryHome&) = delete;
    TemporaryHome& operator=(const TemporaryHome&) = delete;

    bool valid() const { return m_folder.valid(); }
    const std::filesystem::path& path() const { return m_folder.path(); }

private:
    TemporaryFolder m_folder;
    std::string m_previous;
};

} // namespace vt::testing
