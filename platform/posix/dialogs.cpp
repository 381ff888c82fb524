// The wizard's dialogs on POSIX: GTK dialogs once the wizard's window runs,
// else questions on standard error answered with a line on the terminal.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/platform.h"
#include "platform/posix/gtk_module.h"

namespace platform {

namespace {

// One line from standard input without its line end; false at its end.
bool read_line(std::string& line) {
  line.clear();
  for (int c; (c = std::getchar()) != EOF;) {
    if (c == '\n') return true;
    if (c != '\r') line += static_cast<char>(c);
  }
  return !line.empty();
}

void prompt(const std::string& caption, const std::string& text) {
  std::fprintf(stderr, "%s: %s ", caption.c_str(), text.c_str());
  std::fflush(stderr);
}

}  // namespace

bool ask_yes_no(void* owner, const std::string& text, const std::string& caption,
                MessageIcon icon, bool default_no) {
  if (DialogScript* script = dialog_script())
    return script->ask_yes_no(text, caption, icon, default_no);
  if (const posix::GtkModule* gtk = posix::gtk_module())
    return gtk->ask_yes_no(owner, text, caption, icon, default_no);
  prompt(caption, text + (default_no ? " [y/N]" : " [Y/n]"));
  std::string answer;
  if (!read_line(answer) || answer.empty()) return !default_no;
  return answer[0] == 'y' || answer[0] == 'Y';
}

bool choose_file(void* owner, const FileChoice& choice, std::string& path) {
  if (DialogScript* script = dialog_script()) return script->choose_file(choice, path);
  if (const posix::GtkModule* gtk = posix::gtk_module()) return gtk->choose_file(owner, choice, path);
  prompt(choice.title, "(" + choice.filter_pattern + ")");
  std::string answer;
  if (!read_line(answer) || answer.empty() || answer.size() >= kDialogPathSize) return false;
  if (!choice.for_saving && !file_readable(answer)) return false;
  path = answer;
  return true;
}

bool choose_folder(void* owner, const std::string& title, std::string& path) {
  if (DialogScript* script = dialog_script()) return script->choose_folder(title, path);
  if (const posix::GtkModule* gtk = posix::gtk_module()) return gtk->choose_folder(owner, title, path);
  prompt(title, "");
  std::string answer;
  if (!read_line(answer) || answer.empty() || answer.size() >= kDialogPathSize ||
      !file_attributes(answer).is_directory)
    return false;
  path = answer;
  return true;
}

void show_item_list(void* owner, const ItemList& list) {
  if (DialogScript* script = dialog_script()) {
    script->item_list(list);
    return;
  }
  if (const posix::GtkModule* gtk = posix::gtk_module()) {
    gtk->show_item_list(owner, list);
    return;
  }
  for (const ItemRow& row : list.rows)
    std::fprintf(stderr, "%s\t%s\t%s\t%s\n", row.number.c_str(), row.name.c_str(),
                 row.url.c_str(), row.reason.c_str());
}

std::string program_files_folder() {
  const char* home = std::getenv("HOME");
  return std::string(home ? home : "") + "/.local/opt";
}

}  // namespace platform
