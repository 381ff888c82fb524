// The installer's platform work on POSIX: freedesktop desktop files stand in
// for shell links, a shared-mime-info type and a desktop file for the ".lvn"
// association; what Windows deletes at restart is deleted at once.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"
#include "platform/posix/posix_support.h"

namespace platform {

namespace {

const char kProjectType[] = "application/x-lorvane-project";

std::string data_home() {
  const std::string xdg = posix::non_empty_env("XDG_DATA_HOME");
  return xdg.empty() ? posix::non_empty_env("HOME") + "/.local/share" : xdg;
}
std::string mime_package() { return data_home() + "/mime/packages/lorvane.xml"; }
std::string project_opener() { return data_home() + "/applications/lorvane-project.desktop"; }

// A value of a desktop file: line breaks and backslashes escaped.
std::string entry_value(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') out += "\\\\";
    else if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else out += c;
  }
  return out;
}

// The program quoted as the Exec key wants it; '%' is the key's own escape.
std::string exec_line(const std::string& program, const std::string& arguments) {
  std::string out = "\"";
  for (char c : program) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
    if (c == '%') out += '%';
    out += c;
  }
  out += '"';
  if (!arguments.empty()) out += ' ' + arguments;
  return entry_value(out);
}

bool has_scheme(const std::string& target) {
  const size_t colon = target.find(':');
  return colon != std::string::npos && colon > 1 && target.find('/') > colon;
}

bool write_in_folders(const std::string& native, const std::string& content) {
  const size_t slash = native.rfind('/');
  if (slash != std::string::npos && slash > 0 && !posix::make_folders(native.substr(0, slash)))
    return false;
  return posix::replace_file_content(native, content, 0644);
}

}  // namespace

std::string programs_folder() { return data_home() + "/applications"; }

bool create_shortcut(const Shortcut& shortcut) {
  std::string text = "[Desktop Entry]\nName=" + entry_value(shortcut.description) +
                     "\nComment=" + entry_value(shortcut.description) + "\n";
  if (has_scheme(shortcut.target)) {
    text += "Type=Link\nURL=" + entry_value(shortcut.target) + "\n";
  } else {
    const std::string target = posix::native_path(shortcut.target);
    text += "Type=Application\nExec=" +
            exec_line(target, posix::native_path(shortcut.arguments)) + "\nIcon=" +
            entry_value(target) + "\n";
  }
  text += "Path=" + entry_value(posix::native_path(shortcut.working_directory)) + "\n";
  return write_in_folders(posix::native_path(shortcut.link) + ".desktop", text);
}

bool delete_shortcut(const std::string& link) {
  return ::unlink((posix::native_path(link) + ".desktop").c_str()) == 0;
}

void associate_project_files(const std::string& executable) {
  write_in_folders(mime_package(),
                   "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                   "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
                   "  <mime-type type=\"" + std::string(kProjectType) + "\">\n"
                   "    <comment>Lorvik Project</comment>\n"
                   "    <glob pattern=\"*.lvn\"/>\n"
                   "  </mime-type>\n"
                   "</mime-info>\n");
  write_in_folders(project_opener(),
                   "[Desktop Entry]\nType=Application\nName=Lorvane\nNoDisplay=true\nExec=" +
                       exec_line(posix::native_path(executable), "-l %f") +
                       "\nMimeType=" + kProjectType + ";\n");
}

void dissociate_project_files() {
  ::unlink(mime_package().c_str());
  ::unlink(project_opener().c_str());
}

bool delete_at_restart(const std::string& path) {
  const std::string native = posix::native_path(path);
  struct stat st;
  if (::lstat(native.c_str(), &st) != 0) return false;
  return (S_ISDIR(st.st_mode) ? ::rmdir(native.c_str()) : ::unlink(native.c_str())) == 0;
}

void exit_process(int code) {
  std::fflush(nullptr);
  std::_Exit(code);
}

}  // namespace platform
