// A scratch computer for the uninstaller's tests: a folder that stands for
// "/" (with the install root and a home folder inside), HOME pointed into
// it, a stand-in "killall" that only records its arguments, and the built
// privileged helper started directly as the current user.
#pragma once

#include "VTFileSystemTesting.h"
#include "VTPreferencesTesting.h"
#include "VTSecurityTesting.h"
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
#include <vector>

namespace uninstalltest {

namespace fs = std::filesystem;

class ScratchComputer : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_folder.valid());
        fs::create_directories(m_folder.path() / "root");
        m_root = std::make_unique<vt::testing::FileSystemRoot>((m_folder.path() / "root").string());
        ASSERT_FALSE(m_root->path().empty());
        m_r = m_root->path();
        std::string installRoot = KINDRA_INSTALL_ROOT;
        while (!installRoot.empty() && installRoot.back() == '/')
            installRoot.pop_back();
        m_ir = m_r + installRoot;
        m_savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
        m_savedPath = std::getenv("PATH") ? std::getenv("PATH") : "";
        useHome(m_r + "/home/staff/alex");

        // "killall" of the preferences daemon only leaves its arguments here.
        const std::string bin = (m_folder.path() / "bin").string();
        fs::create_directories(bin);
        m_killallLog = (m_folder.path() / "killall.log").string();
        writeFile(bin + "/killall", "#!/bin/sh\necho \"$@\" >> '" + m_killallLog + "'\n");
        fs::permissions(bin + "/killall", fs::perms::owner_all);
        setenv("PATH", (bin + ":" + m_savedPath).c_str(), 1);
        useHelper({});
    }

    void TearDown() override
    {
        EXPECT_TRUE(vt::testing::waitForPrivilegedTools());
        m_helper.reset();
        m_root.reset();
        setenv("HOME", m_savedHome.c_str(), 1);
        setenv("PATH", m_savedPath.c_str(), 1);
        vt::testing::forgetPreferencesInMemory();
    }

    // Authorizations start the helper through `elevator` from now on.
    void useHelper(std::vector<std::string> elevator)
    {
        m_helper.reset();
        m_helper = std::make_unique<vt::testing::PrivilegedHelperStandIn>(KINDRA_UNINSTALL_HELPER, std::move(elevator));
    }

    void useHome(const std::string& home)
    {
        m_home = home;
        fs::create_directories(home);
        setenv("HOME", home.c_str(), 1);
        vt::testing::forgetPreferencesInMemory();
    }

    // "{R}", "{IR}" and "{H}" replaced by the root, the install root and
    // the home folder.
    std::string expand(std::string text) const
    {
        for (auto [key, value] :
             {std::pair<const char*, const std::string*>{"{IR}", &m_ir}, {"{R}", &m_r}, {"{H}", &m_home}}) {
            for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at))
                text.replace(at, std::string(key).size(), *value);
        }
        return text;
    }

    static void writeFile(const std::string& path, const std::string& text = "x")
    {
        fs::create_directories(fs::path(path).parent_path());
        std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    }

    static void makeLink(const std::string& link, const std::string& target)
    {
        fs::create_directories(fs::path(link).parent_path());
        fs::create_directory_symlink(target, link);
    }

    // Every path under the root, relative to it, links not followed.
    std::set<std::string> snapshot() const
    {
        std::set<std::string> paths;
        for (auto it = fs::recursive_directory_iterator(m_r); it != fs::recursive_directory_iterator(); ++it)
            paths.insert(it->path().lexically_relative(m_r).string());
        return paths;
    }

    // The snapshot with the given paths and everything inside them gone.
    std::set<std::string> without(std::set<std::string> paths, const std::vector<std::string>& removed) const
    {
        for (const std::string& path : removed) {
            const std::string relative = fs::path(path).lexically_relative(m_r).string();
            std::erase_if(paths, [&](const std::string& p) { return p == relative || p.starts_with(relative + "/"); });
        }
        return paths;
    }

    std::string killallCalls() const
    {
        std::ifstream log(m_killallLog);
        return std::string(std::istreambuf_iterator<char>(log), std::istreambuf_iterator<char>());
    }

    std::string m_r, m_ir, m_home;

private:
    vt::testing::TemporaryFolder m_folder{"kindra-uninstall"};
    std::unique_ptr<vt::testing::FileSystemRoot> m_root;
    std::unique_ptr<vt::testing::PrivilegedHelperStandIn> m_helper;
    std::string m_savedHome, m_savedPath, m_killallLog;
};

} // namespace uninstalltest
