// The one boundary between Lorvane and the operating system.
//
// Portable code includes only this header; exactly one of platform/win32/ or
// platform/posix/ is compiled into a build. Program paths use the backslash as
// their separator on every platform (project files hold the same bytes
// everywhere); the POSIX backend turns each backslash into '/' at the file
// system edge. Nothing here throws. Unless a comment says otherwise, every
// function may be called from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// ---------------------------------------------------------------------------
// Files

enum class FileAccess {
  read,               // existing file, binary reading, others may read and write
  read_write_shared,  // existing file, reading and writing, others may read and write
  create_truncate,    // create or truncate, binary writing
  create_new,         // create a file that does not exist yet, binary writing
  append,             // create when missing, every write goes to the end
};

// A move-only owner of one open file. Closing happens on destruction.
class File {
 public:
  File() = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  bool is_open() const;
  // Reads n bytes, going on after short reads; returns how many arrived,
  // fewer than n only at the end of the file or on an error. Callers need no
  // loop of their own.
  size_t read(void* buffer, size_t n);
  // Writes all n bytes, going on after short writes; false when any of them
  // could not be written (some may have been).
  bool write(const void* buffer, size_t n);
  // Absolute position from the start of the file.
  bool seek(int64_t offset);
  // Size in bytes, or -1 when it cannot be had.
  int64_t size();
  // Pushes what was written through to the disk; false when that failed.
  bool flush();
  void close();

 private:
  friend File open_file(const std::string& path, FileAccess access);
  intptr_t handle_ = -1;
};

// Opens a file; the result is_open() only on success.
File open_file(const std::string& path, FileAccess access);

// True when the path names an existing file that opens for reading.
bool file_readable(const std::string& path);

// Attributes as find-first and get-attributes report them.
struct FileAttributes {
  bool exists = false;
  bool is_directory = false;
};
FileAttributes file_attributes(const std::string& path);

// Creates one directory level; false when it failed or already exists.
bool create_directory(const std::string& path);
// Deletes a file; false when it could not be deleted.
bool delete_file(const std::string& path);
// Removes an empty directory; false when it is not there or not empty.
bool remove_directory(const std::string& path);
// Copies a file, replacing the target; false on failure.
bool copy_file(const std::string& from, const std::string& to);
// Renames a file over another in one step: afterwards the target holds
// either all of its old content or all of the new, and keeps the target's
// permission bits where the platform has them. False on failure, with both
// files as they were.
bool replace_file(const std::string& from, const std::string& to);

// The path as a UTF-8 file name, for libraries that take one (the bookmark
// database's): '/' separated on POSIX, the program's text made UTF-8 on
// Windows. Empty when it cannot be converted.
std::string utf8_file_name(const std::string& path);

// True where names follow the Windows rules: trailing dots and blanks are
// dropped, "C:" starts a drive and case is ignored. Elsewhere every name but
// "", "." and ".." names an entry of its own folder, exactly as it stands.
bool windows_name_rules();

// A file that is replaced whole is first written under a temporary name in
// its own folder and then renamed over it. Every such name ends in this
// suffix, so that readers of a folder pass over it and a later save of the
// same folder can remove the ones a killed process left behind.
constexpr char kTemporarySuffix[] = ".lvn-tmp";
// A name for a new temporary file in the folder of `target`, unique in this
// process and among running processes.
std::string temporary_path_beside(const std::string& target);
bool is_temporary_name(const std::string& name);
// Deletes the temporary files left in a folder.
void remove_stale_temporaries(const std::string& folder);

// ---------------------------------------------------------------------------
// Directory listing, with find-first semantics.
//
// The pattern is a path whose last component may hold the wildcards '*' and
// '?', matched without regard to case ("dir\*.*" lists the whole directory,
// "." and ".." included, as find-first does). A pattern without wildcards
// yields the one entry it names, so the listing of a file's own path yields
// that file. Entries come in the platform's own order, never sorted.
struct DirEntry {
  std::string name;  // the entry's own name, no directory part
  bool is_directory = false;
  // A regular file, links followed: not a folder, FIFO, device, socket or a
  // link to nothing. Only such files are ever opened for their content.
  bool is_file = false;
};

class DirListing {
 public:
  DirListing() = default;
  ~DirListing();
  DirListing(const DirListing&) = delete;
  DirListing& operator=(const DirListing&) = delete;

  // Starts the listing; false when nothing matches or the folder cannot be
  // read. On success the first entry is ready for next().
  bool open(const std::string& pattern);
  // Gives the next entry; false when there are no more.
  bool next(DirEntry& entry);
  void close();

 private:
  struct State;
  State* state_ = nullptr;
};

// ---------------------------------------------------------------------------
// Private-profile (INI) files: sections and keys matched without regard to
// case; a write keeps every other line of the file and creates the file (and
// the section) when missing.

// Reads a value into at most size - 1 characters; default_value when missing.
std::string profile_read(const std::string& file, const std::string& section,
                         const std::string& key, const std::string& default_value,
                         size_t size);
// Reads a value like profile_read, from a regular file only and from no more
// than its first `limit` bytes, and never waits: anything else (a FIFO, a
// device, a socket, a folder, a link to nothing) gives default_value.
std::string profile_read_head(const std::string& file, const std::string& section,
                              const std::string& key, const std::string& default_value,
                              size_t size, size_t limit);
// Reads a value as an integer the way Windows does: default_value when the
// value is missing or empty, else its leading decimal number (0 when none).
int profile_read_int(const std::string& file, const std::string& section,
                     const std::string& key, int default_value);
// Writes one value; false when the file could not be written.
bool profile_write(const std::string& file, const std::string& section,
                   const std::string& key, const std::string& value);

// ---------------------------------------------------------------------------
// Registry. On Linux a small file-backed store under the user's configuration
// directory ($LORVANE_REGISTRY_DIR when set, else $XDG_CONFIG_HOME/lorvane or
// ~/.config/lorvane); same keys and values as on Windows.

enum class RegistryRoot { current_user, local_machine, classes_root };

// True when the key exists and opens with all access rights.
bool registry_key_opens(RegistryRoot root, const std::string& key);
// Reads a string value (of any string type); false when key or value is missing.
bool registry_read_string(RegistryRoot root, const std::string& key,
                          const std::string& value, std::string& out);
// Creates the key as needed and writes a string value (REG_SZ) with the
// length of its text, without a terminating NUL. An empty value name is the
// key's unnamed (default) value.
bool registry_write_string(RegistryRoot root, const std::string& key,
                           const std::string& value, const std::string& data);
// Deletes a key and everything below it.
bool registry_delete_key(RegistryRoot root, const std::string& key);

// ---------------------------------------------------------------------------
// Process and environment

// This process's id.
uint32_t process_id();
// Full path of the running executable (backslash-separated on Windows).
std::string module_path();
// The files that travel beside the executable and are installed with it:
// none on Windows; the wizard's GTK module on Linux.
std::vector<std::string> companion_files();
std::string current_directory();
bool set_current_directory(const std::string& path);
// Expands %NAME% references the way the platform does.
std::string expand_environment(const std::string& text);
// The user's desktop folder.
std::string desktop_folder();
// The folder programs are installed under ("Program Files" on Windows,
// ~/.local/opt on Linux).
std::string program_files_folder();
// The folder that holds the Firefox profiles (the application-data folder's
// "\Mozilla\Firefox\Profiles" on Windows, ~/.mozilla/firefox on Linux).
std::string firefox_profiles_folder();
// The folder under which Chromium browsers keep their user data: the local
// application-data folder on Windows, $XDG_CONFIG_HOME or ~/.config on Linux.
std::string local_application_data_folder();
// True while a Chromium browser runs on the profile folder or on the user
// data folder above it: on Linux a "SingletonLock" link in either names a
// live process of this host; on Windows the "lockfile" in either cannot be
// opened for writing and deleting.
bool chromium_profile_in_use(const std::string& profile_folder);
// Opens a file or URL the way the shell does, its window shown normally or
// maximised; false when that failed.
bool shell_open(const std::string& target, bool maximised = false);
void sleep_ms(unsigned milliseconds);
// Runs the command interpreter's "pause": prints its prompt, waits for a key.
void pause_console();
// Gives the process a console of its own with unbuffered standard streams.
void attach_console();

// True where the platform can show the graphical wizard's windows: always on
// Windows; on Linux when GTK starts on a display. Without one a start
// without a switch takes the console road instead.
bool graphical_front_end_available();

// ---------------------------------------------------------------------------
// Installation

// The folder that holds the Start menu's program groups (the programs
// folder on Windows, $XDG_DATA_HOME/applications or ~/.local/share/applications
// on Linux).
std::string programs_folder();

// A shortcut: a shell link file on Windows, a freedesktop desktop file on
// Linux. `link` is the file's path without its extension (".LNK" on Windows,
// ".desktop" on Linux); the icon is taken from `target` at `icon_index`.
struct Shortcut {
  std::string link, target, arguments, working_directory, description;
  int icon_index = 0;
};
// Creates or replaces the shortcut; false when it could not be saved.
bool create_shortcut(const Shortcut& shortcut);
// Deletes the shortcut named like Shortcut::link; false when it is not there.
bool delete_shortcut(const std::string& link);

// Lets the desktop open project files (".lvn") with `executable` -l <file>.
// Windows reads that from the registry entries the installer writes, so only
// Linux has work to do: a shared-mime-info type and a desktop file.
void associate_project_files(const std::string& executable);
void dissociate_project_files();

// Deletes a file, or an empty folder, when the system next restarts. A
// running program cannot delete its own executable on Windows; Linux can,
// so there it is deleted at once (a folder only when it is empty).
bool delete_at_restart(const std::string& path);

// Ends the process at once with the exit code, from any depth of the call
// stack (the installer ends a wizard that is still in its message loop).
[[noreturn]] void exit_process(int code);

// ---------------------------------------------------------------------------
// Messages to the user

enum class MessageIcon { error, warning, information, question, none };
// A message box on Windows, a line on standard error on Linux. The owner is a
// window handle or null. Runs on the calling thread and waits for the user.
void message_box(void* owner, const std::string& text, const std::string& caption,
                 MessageIcon icon);
// The seam that tests script: while a hook is set, message_box calls it
// instead of showing anything. Null restores the real behaviour.
using MessageHook = void (*)(const std::string& text, const std::string& caption,
                             MessageIcon icon);
void set_message_hook(MessageHook hook);

// Posts app command `command` (message 10925) to a window; never waits for
// it. With no window it does nothing. While a sink is set (the Linux front
// end's main loop, or a test), the command goes to the sink instead.
void post_app_command(void* window, unsigned command);
using AppCommandSink = void (*)(void* window, unsigned command);
void set_app_command_sink(AppCommandSink sink);

// ---------------------------------------------------------------------------
// The wizard's dialogs. Each is modal, owned by `owner` (a window or null),
// runs on the window thread and waits for the user.

// A question with the buttons Yes and No; true for Yes. `default_no` makes No
// the button that Enter presses.
bool ask_yes_no(void* owner, const std::string& text, const std::string& caption,
                MessageIcon icon, bool default_no);

// The open and save file dialogs. `path` is the initial name and, on true,
// the chosen file; it never holds more than kDialogPathSize - 1 characters.
constexpr size_t kDialogPathSize = 1000;
struct FileChoice {
  std::string title;
  std::string filter_name;     // such as "LVN files (*.LVN)"
  std::string filter_pattern;  // such as "*.LVN"
  bool for_saving = false;     // save dialog: asks before replacing a file;
                               // open dialog: the file must exist
};
bool choose_file(void* owner, const FileChoice& choice, std::string& path);
// The folder dialog; on true `path` holds the chosen folder.
bool choose_folder(void* owner, const std::string& title, std::string& path);

// The item list dialog ("Item List"): rows of records with six columns, the
// caption line, and the buttons Recover, Close and Test in Browser.
struct ItemRow {
  std::string number, name, url, file, reason, entry;  // the six columns
};
struct ItemList {
  bool caption_line = true;     // "Here are all items you selected."
  bool recover_enabled = true;
  std::vector<ItemRow> rows;
  // Puts back the records of the selected rows (their entries, top first);
  // gives, for each, whether it was put back. Its row then leaves the list.
  std::vector<bool> (*recover)(const std::vector<std::string>& entries) = nullptr;
  // Opens the first selected row's link in the user's browser.
  void (*test_in_browser)(const std::string& url) = nullptr;
};
void show_item_list(void* owner, const ItemList& list);

// The seam that tests script: while a script is set, every dialog above and
// message_box ask it instead of showing anything. Null restores the real
// dialogs.
class DialogScript {
 public:
  virtual ~DialogScript() = default;
  virtual void message(const std::string& text, const std::string& caption,
                       MessageIcon icon) = 0;
  virtual bool ask_yes_no(const std::string& text, const std::string& caption,
                          MessageIcon icon, bool default_no) = 0;
  virtual bool choose_file(const FileChoice& choice, std::string& path) = 0;
  virtual bool choose_folder(const std::string& title, std::string& path) = 0;
  virtual void item_list(const ItemList& list) = 0;
};
void set_dialog_script(DialogScript* script);
DialogScript* dialog_script();

// ---------------------------------------------------------------------------
// The wizard's main window: a frame whose client area is an embedded browser
// showing the wizard's pages. Everything here runs on the window thread.

// What the window hands to the wizard, on the window thread.
struct WizardHandlers {
  // A navigation that the browser cancelled: an "app:" link, or a form sent
  // to "cgi.htm" with its query. Gives the browser event's result.
  int (*navigation)(const char* url) = nullptr;
  // App command N (message 10925): 0 when acted on, 1 otherwise.
  int (*app_command)(unsigned command) = nullptr;
  // The close request: "Exit", or closing from the title bar.
  void (*close_request)() = nullptr;
  // Timer 1, every five seconds while it runs.
  void (*timer_tick)() = nullptr;
};

class WizardWindow {
 public:
  virtual ~WizardWindow() = default;
  // The window's handle: owner of dialogs, target of posted app commands.
  virtual void* handle() = 0;
  // Shows a page (the full path of a page file) or runs a "javascript:" URL.
  virtual void navigate(const std::string& url) = 0;
  virtual void set_title(const std::string& title) = 0;
  virtual void start_timer() = 0;
  virtual void stop_timer() = 0;
  // Sends the close message: without_asking destroys the window at once,
  // otherwise it is the close request.
  virtual void close(bool without_asking) = 0;
  virtual void destroy() = 0;
  // Sends app command N synchronously; gives the command's result.
  virtual int send_app_command(unsigned command) = 0;
};

// Creates the main window, titled "Lorvane 2.5", with its browser; null when
// no window can be made here (the caller says so and ends).
WizardWindow* create_wizard_window(const WizardHandlers& handlers);
// Runs the window thread's message loop until the main window is destroyed.
void run_message_loop();

// ---------------------------------------------------------------------------
// Resources

// The bytes of a resource of type "DATA" carried in the executable; false
// when there is none of that name.
bool load_data_resource(const std::string& name, std::string& bytes);

// ---------------------------------------------------------------------------
// HTTP client, in the session/request shape the checker uses.

struct HttpSession;
struct HttpRequest;

// Opens a session with the given agent name and direct access (no proxy).
// Null on failure.
HttpSession* http_open_session(const std::string& agent);
// Opens a URL on the session, in the form a browser sends it (blanks around
// it and tabs and line breaks in it dropped, backslashes before the query
// taken as slashes, blanks escaped): no cache writes, redirects followed.
// Waits for the status line and headers of the final answer; of the body it
// takes in at most a short one that comes at once, so that the connection
// can serve the next link of the same site. Null when the link could not be
// opened at all, or when the session was closed. When not_tried is given, it
// tells the two apart: true when no attempt on the link could be made here
// (the session is closed, or this machine had no thread, socket or handle to
// spare), which says nothing about the link itself.
HttpRequest* http_open_url(HttpSession* session, const std::string& url,
                           bool* not_tried = nullptr);
// The final status code as text (such as "404"); false when it is unknown.
bool http_query_status(HttpRequest* request, char* buffer, size_t size);
void http_close_request(HttpRequest* request);
// Closes the session: every call pending on it comes back at once (within
// about a second), and requests still open on it are released with it.
// Safe to call while other threads are inside http_open_url.
void http_close_session(HttpSession* session);

// ---------------------------------------------------------------------------
// Whole-file downloads and run-time libraries, for the update check.

// Fetches a URL with the given agent name, direct access and no cache writes,
// the server's certificate checked for https, and hands the body to `sink`
// piece by piece. True only when the answer was a 200 and its whole body
// arrived (all the Content-Length announced, when there was one); false as
// soon as `sink` gives false. A transfer that stalls for a minute fails.
// `trusted_certificates`, for tests on Linux: a PEM file trusted instead of
// the system's store (Windows always uses its own store).
bool http_download(const std::string& agent, const std::string& url,
                   bool (*sink)(void* context, const char* data, size_t n), void* context,
                   const std::string& trusted_certificates = std::string());

// Where the maker's update library lives: the Windows directory's "HU.DLL"
// on Windows, ~/.local/opt/HU/libhu.so elsewhere. A full path, never a bare
// name, so no search order can put another library in its place.
std::string update_library_path();
// Loads a library by its full path; null when it cannot be loaded.
void* load_library(const std::string& full_path);
// An exported entry point of a loaded library; null when it has none.
void* library_entry(void* library, const char* name);
void free_library(void* library);

}  // namespace platform
