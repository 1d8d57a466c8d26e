// A home folder of its own for every settings test, and plain file access
// to the preferences files inside it.
#pragma once

#include "VTPreferencesTesting.h"
#include "VTTemporaryFolder.h"

#include <CoreFoundation/CoreFoundation.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>

namespace settingstest {

class TemporaryHome : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_temporaryHome = std::make_unique<vt::testing::TemporaryHome>();
        ASSERT_TRUE(m_temporaryHome->valid());
        m_home = m_temporaryHome->path();
    }
    void TearDown() override { m_temporaryHome.reset(); }

    std::filesystem::path preferencesFolder() const { return m_home / "Library" / "Preferences"; }
    std::filesystem::path domainFile(const std::string& domain) const
    {
        return preferencesFolder() / (domain + ".plist");
    }
    // The names of every file in the preferences folder.
    std::set<std::string> preferencesFiles() const
    {
        std::set<std::string> names;
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(preferencesFolder(), error))
            names.insert(entry.path().filename().string());
        return names;
    }

    static std::string readFile(const std::filesystem::path& path)
    {
        std::ifstream file(path, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    }
    void writeFile(const std::filesystem::path& path, const std::string& bytes) const
    {
        std::filesystem::create_directories(path.parent_path());
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    // An XML property list whose top dictionary holds the given entries.
    void writeXMLDomain(const std::string& domain, const std::string& entries) const
    {
        writeFile(domainFile(domain), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                      "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                                      "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                                      "<plist version=\"1.0\">\n<dict>\n" +
                                          entries + "</dict>\n</plist>\n");
    }

    std::filesystem::path m_home;

private:
    std::unique_ptr<vt::testing::TemporaryHome> m_temporaryHome;
};

inline CFStringRef cfString(const std::string& text)
{
    return CFStringCreateWithCString(nullptr, text.c_str(), kCFStringEncodingUTF8);
}

// The stored value of a key as this process sees it (+1), or null.
inline CFTypeRef copyValue(const std::string& key, const std::string& domain)
{
    CFStringRef cfKey = cfString(key);
    CFStringRef cfDomain = cfString(domain);
    CFTypeRef value = CFPreferencesCopyAppValue(cfKey, cfDomain);
    CFRelease(cfKey);
    CFRelease(cfDomain);
    return value;
}

} // namespace settingstest
