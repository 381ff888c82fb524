// Install, repair and uninstall through the real shortcuts, registry and
// files: under wine64 in a prefix of the setup tests' own, natively with the
// home, data, desktop and registry folders in a temporary folder.
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "core/globals.h"
#include "core/records.h"
#include "core/startup.h"
#include "platform/platform.h"
#include "setup/installer.h"
#include "setup/setup_roles.h"
#include "tests/support/env.h"
#include "tests/support/temp_dir.h"

#ifdef _WIN32
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#endif

namespace {

using platform::MessageIcon;
using platform::RegistryRoot;

// Records every box as "caption|icon|text" ("?yes"/"?no" after a question's
// icon: its default button) and answers the questions in turn.
struct Script : platform::DialogScript {
  std::vector<std::string> said;
  std::deque<bool> answers;
  void message(const std::string& text, const std::string& caption, MessageIcon icon) override {
    said.push_back(caption + "|" + std::to_string(static_cast<int>(icon)) + "|" + text);
  }
  bool ask_yes_no(const std::string& text, const std::string& caption, MessageIcon icon,
                  bool no) override {
    message((no ? "?no|" : "?yes|") + text, caption, icon);
    const bool yes = answers.front();
    answers.pop_front();
    return yes;
  }
  bool choose_file(const platform::FileChoice&, std::string&) override { return false; }
  bool choose_folder(const std::string&, std::string&) override { return false; }
  void item_list(const platform::ItemList&) override {}
};

// A program path as the file system takes it.
std::string native(std::string path) {
#ifndef _WIN32
  for (char& c : path) c = c == '\\' ? '/' : c;
#endif
  return path;
}

// A shortcut as the platform stores it: target, arguments, working
// directory, description and icon on Windows; the desktop file's keys on Linux.
std::string read_shortcut(const std::string& link) {
#ifdef _WIN32
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  IShellLinkA* shell_link = nullptr;
  IPersistFile* file = nullptr;
  wchar_t name[MAX_PATH] = {};
  MultiByteToWideChar(CP_ACP, 0, (link + ".LNK").c_str(), -1, name, MAX_PATH);
  char got[5][MAX_PATH] = {};  // target, arguments, directory, description, icon
  int index = -1;
  const bool loaded =
      SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                 reinterpret_cast<void**>(&shell_link))) &&
      SUCCEEDED(shell_link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
      SUCCEEDED(file->Load(name, STGM_READ)) &&
      SUCCEEDED(shell_link->GetPath(got[0], MAX_PATH, nullptr, SLGP_RAWPATH)) &&
      SUCCEEDED(shell_link->GetArguments(got[1], MAX_PATH)) &&
      SUCCEEDED(shell_link->GetWorkingDirectory(got[2], MAX_PATH)) &&
      SUCCEEDED(shell_link->GetDescription(got[3], MAX_PATH)) &&
      SUCCEEDED(shell_link->GetIconLocation(got[4], MAX_PATH, &index));
  if (file) file->Release();
  if (shell_link) shell_link->Release();
  if (!loaded) return "missing";
  const bool url = std::string(got[4]).find(':') > 1;
  return std::string(url ? "" : got[0]) + "|" + got[1] + "|" + got[2] + "|" + got[3] + "|" +
         got[4] + "," + std::to_string(index);
#else
  const std::string text = TempDir::read(native(link) + ".desktop");
  if (text.empty()) return "missing";
  std::string out;
  for (const char* key : {"\nExec=", "\nURL=", "\nPath=", "\nName=", "\nIcon="}) {
    const size_t at = text.find(key);
    if (at == std::string::npos) continue;
    const size_t start = at + std::string(key).size();
    const std::string value = text.substr(start, text.find('\n', start) - start);
    for (size_t i = 0; i < value.size(); ++i)  // the desktop file's own escape
      out += value[i] == '\\' && i + 1 < value.size() ? value[++i] : value[i];
    out += "|";
  }
  return out;
#endif
}

// The value's stored bytes, so that a terminating NUL would show.
std::string raw_value(RegistryRoot root, const std::string& key, const std::string& value) {
#ifdef _WIN32
  HKEY opened = nullptr;
  HKEY base = root == RegistryRoot::classes_root ? HKEY_CLASSES_ROOT : HKEY_LOCAL_MACHINE;
  if (RegOpenKeyExA(base, key.c_str(), 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS)
    return "missing";
  char data[4096];
  DWORD size = sizeof data, type = 0;
  const LONG status = RegQueryValueExA(opened, value.c_str(), nullptr, &type,
                                       reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(opened);
  if (status != ERROR_SUCCESS) return "missing";
  return (type == REG_MULTI_SZ ? "multi:" : type == REG_SZ ? "" : "other:") + std::string(data, size);
#else
  std::string out;
  return platform::registry_read_string(root, key, value, out) ? out : "missing";
#endif
}

class Setup : public testing::Test {
 protected:
  TempDir home;
  std::string running = home.write("source/LVN.EXE", "MZ stand-in program");
  std::string directory;
  std::string launch_folder = platform::current_directory();
  Script script;
#ifndef _WIN32
  ScopedEnv home_env{"HOME", home.path()};
  ScopedEnv data_env{"XDG_DATA_HOME", home.file("data")};
  ScopedEnv desktop_env{"XDG_DESKTOP_DIR", home.file("Desktop")};
  ScopedEnv registry_env{"LORVANE_REGISTRY_DIR", home.path()};
#endif
  void SetUp() override {
    platform::set_dialog_script(&script);
    // Page removal works in the current directory.
    platform::set_current_directory(home.path());
  }
  void TearDown() override { platform::set_current_directory(launch_folder); }

  std::string group(const std::string& name) { return group_folder() + "\\" + name; }

  // Every shortcut and registry value of an installation into `directory`
  // that was run from `from`, the group's shortcuts only when asked for; or,
  // when not `installed`, none of them.
  void installation(const std::string& from, bool with_group, bool installed = true) {
    const std::string exe = directory + "\\LVN.EXE";
    const struct {
      std::string link, target, arguments;
    } links[] = {
        {desktop_link(), exe, ""},
        {group("Lorvane"), exe, ""},
        {group("Lorvane Help"), "res://" + exe + "/help", ""},
        {group("Lorvane License Agreement"), "res://" + exe + "/eula", ""},
        {group("Submit a bug"), "mailto:bugs@example.com?subject=Lorvane Bug Report", ""},
        {group("www.example.com Forum"), "http://www.example.com/cgi-bin/download.cgi?file=forum", ""},
        {group("Lorvane Repair"), exe, "-rc"},
        {group("Lorvane Uninstall"), exe, "-u " + directory},
    };
    for (const auto& l : links) {
      const std::string name = l.link.substr(l.link.find_last_of('\\') + 1);
#ifdef _WIN32
      // The shell takes a target that is no file for a relative path and
      // stores it made absolute; the icon's location keeps it as given.
      const bool url = l.target.find(':') > 1;
      const std::string expected = (url ? "" : l.target) + "|" + l.arguments + "|" + directory +
                                   "|" + name + "|" + l.target + ",0";
#else
      const std::string target = native(l.target), args = native(l.arguments),
                        dir = native(directory);
      const bool url = l.target.find(':') < l.target.find('/');
      const std::string expected =
          url ? l.target + "|" + dir + "|" + name + "|"
              : "\"" + target + "\"" + (args.empty() ? "" : " " + args) + "|" + dir + "|" +
                    name + "|" + target + "|";
#endif
      const bool wanted = installed && (with_group || l.link == desktop_link());
      EXPECT_EQ(name + ": " + read_shortcut(l.link), name + ": " + (wanted ? expected : "missing"));
    }
    const std::string tool = kToolbarKey;
    const struct {
      RegistryRoot root;
      std::string key, value, data;
    } values[] = {
        {RegistryRoot::local_machine, kUninstallKey, "DisplayName", "Lorvane Uninstallation"},
        {RegistryRoot::local_machine, kUninstallKey, "UninstallString", exe + " -u " + directory},
        {RegistryRoot::local_machine, kUninstallKey, "DestinationDirectory", directory},
        {RegistryRoot::local_machine, kUninstallKey, "ModifyPath", exe + " -rc"},
        {RegistryRoot::classes_root, ".lvn", "", "LorvikFile"},
        {RegistryRoot::classes_root, "LorvikFile", "", "Lorvik Project"},
        {RegistryRoot::classes_root, "LorvikFile\\DefaultIcon", "", from + ",1"},
        {RegistryRoot::classes_root, "LorvikFile\\Shell\\open\\command", "", from + " -l %1"},
        {RegistryRoot::local_machine, tool, "Default Visible", "Yes"},
        {RegistryRoot::local_machine, tool, "ButtonText", "Lorvane"},
        {RegistryRoot::local_machine, tool, "Icon", exe + ",501"},
        {RegistryRoot::local_machine, tool, "HotIcon", exe + ",501"},
        {RegistryRoot::local_machine, tool, "CLSID", "{1FBA04EE-3024-11D2-8F1F-0000F87ABD16}"},
        {RegistryRoot::local_machine, tool, "Exec", exe},
    };
    for (const auto& v : values) {
      EXPECT_EQ(v.key + "|" + v.value + ": " + raw_value(v.root, v.key, v.value),
                v.key + "|" + v.value + ": " + (installed ? v.data : "missing"));
    }
#ifndef _WIN32
    const std::string opener = TempDir::read(home.file("data/applications/lorvane-project.desktop"));
    const std::string type = TempDir::read(home.file("data/mime/packages/lorvane.xml"));
    EXPECT_EQ(opener.find("\nExec=\"" + native(from) + "\" -l %f\nMimeType=application/x-lorvane-project;") !=
                  std::string::npos && type.find("<glob pattern=\"*.lvn\"/>") != std::string::npos,
              installed);
    if (!installed) {
      EXPECT_EQ(opener + type, "");
    }
#endif
  }
};

TEST_F(Setup, InstallRepairAndUninstallWithAndWithoutTheGroup) {
  for (const bool with_group : {true, false}) {
    SCOPED_TRACE(with_group ? "with the group" : "without the group");
    // Each round in a folder of its own: the first one's waits for the restart.
    directory = home.file(with_group ? "Program Files/LVN" : "Tools/LVN");
    platform::create_directory(home.file(with_group ? "Program Files" : "Tools"));
    copy_field(install_directory, sizeof install_directory, directory);
    copy_field(start_menu_group, sizeof start_menu_group, with_group ? "yes" : "no");
    script.said.clear();
    script.answers = {false, false, true};  // no forum; uninstall declined, then accepted
    for (const std::string& name : platform::companion_files()) home.write("source/" + name, name);
    EXPECT_EQ(install(false, running), 99);
    EXPECT_EQ(probe_install_state("-cmd"), 0);
    EXPECT_EQ(TempDir::read(native(directory + "\\LVN.EXE")), "MZ stand-in program");
    // The files that travel with the program go with it, and leave with it.
    for (const std::string& name : platform::companion_files())
      EXPECT_EQ(TempDir::read(native(directory + "\\" + name)), name);
    installation(running, with_group);

    if (with_group) {
      // Repair, run from the installed copy, brings back what was lost.
      platform::delete_shortcut(group("Lorvane Help"));
      platform::registry_delete_key(RegistryRoot::local_machine, kToolbarKey);
      install_directory[0] = '\0';
      EXPECT_EQ(install(true, directory + "\\LVN.EXE"), 99);
      EXPECT_EQ(std::string(install_directory), directory);
      installation(directory + "\\LVN.EXE", true);
    }
    // "-u <folder>" asks for the uninstaller, which works in that folder.
    ASSERT_EQ(probe_install_state(("-u " + directory).c_str()), 2);
    home.write(with_group ? "Program Files/LVN/up.ini" : "Tools/LVN/up.ini", "[General]\r\n");
    EXPECT_EQ(run_uninstaller(), 0);  // declined: everything stays
    installation(with_group ? directory + "\\LVN.EXE" : running, with_group);
    EXPECT_EQ(run_uninstaller(), 100);
    EXPECT_EQ(probe_install_state("-u elsewhere"), 1);
    platform::set_current_directory(home.path());

    installation(running, true, false);
    EXPECT_FALSE(platform::file_attributes(group_folder()).exists);
    EXPECT_FALSE(platform::file_attributes(directory + "\\up.ini").exists);
#ifdef _WIN32
    // Both wait in the restart list: the program, then its folder.
    const std::string pending =
        raw_value(RegistryRoot::local_machine, "SYSTEM\\CurrentControlSet\\Control\\Session Manager",
                  "PendingFileRenameOperations");
    EXPECT_NE(pending.find(directory + "\\LVN.EXE"), std::string::npos);
    EXPECT_NE(pending.find(directory + std::string(1, '\0')), std::string::npos);
#else
    EXPECT_FALSE(platform::file_attributes(directory).exists);
#endif
    std::vector<std::string> said = {
        "Lorvane|3|?yes|Lorvane has been installed successfully !\r\n\r\nDo you want to visit "
        "the www.example.com forum for the latest news and updates ?",
        "Lorvane|2|Registry entries and shortcuts recreated !",
        "Lorvane|3|?no|Uninstall Lorvane from:\r\n\r\n" + directory +
            " ?\r\n\r\nPlease note that existing LVN projects will not be deleted automatically,"
            " but they will rather be saved in the installation directory!",
        "Lorvane|4|Uninstallation successful !\r\nLVN.EXE and the Installation Directory will be"
        " removed from your system after rebooting !"};
    said.insert(said.begin() + 3, said[2]);  // declined, then accepted
    if (!with_group) said.erase(said.begin() + 1);
    EXPECT_EQ(script.said, said);
  }
}

}  // namespace
