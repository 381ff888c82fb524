// The item list ("Item List") as a GTK dialog: the caption line, a list of
// six columns with multiple selection, and Recover, Close and Test in
// Browser, as the Windows dialog has them.
#include <string>
#include <vector>

#include "platform/posix/gtk/gtk_front_end.h"

namespace platform {
namespace posix {

namespace {

const char* const kColumns[] = {"#", "Link", "URL", "File", "QReason", "Entry"};
constexpr int kColumnCount = 6;
constexpr int kUrlColumn = 2;
constexpr int kEntryColumn = 5;
enum Response { kRecover = 1, kClose = 2, kTestInBrowser = 9 };

std::string cell(GtkTreeModel* model, GtkTreeIter* row, int column) {
  gchar* text = nullptr;
  gtk_tree_model_get(model, row, column, &text, -1);
  const std::string value = text ? text : "";
  g_free(text);
  return value;
}

GtkListStore* filled_store(const platform::ItemList& list) {
  GtkListStore* store = gtk_list_store_new(kColumnCount, G_TYPE_STRING, G_TYPE_STRING, G_TYPE_STRING,
                                           G_TYPE_STRING, G_TYPE_STRING, G_TYPE_STRING);
  for (const platform::ItemRow& row : list.rows) {
    GtkTreeIter item;
    gtk_list_store_append(store, &item);
    // The entry is the record's number in the project: kept as it stands.
    gtk_list_store_set(store, &item, 0, row.number.c_str(), 1, display_text(row.name).c_str(), 2,
                       display_text(row.url).c_str(), 3, display_text(row.file).c_str(), 4,
                       row.reason.c_str(), 5, row.entry.c_str(), -1);
  }
  return store;
}

// The selected rows, top first, as references that outlive removals.
std::vector<GtkTreeRowReference*> selected_rows(GtkTreeView* view) {
  GtkTreeModel* model = nullptr;
  GList* paths = gtk_tree_selection_get_selected_rows(gtk_tree_view_get_selection(view), &model);
  std::vector<GtkTreeRowReference*> rows;
  for (GList* at = paths; at; at = at->next)
    rows.push_back(gtk_tree_row_reference_new(model, static_cast<GtkTreePath*>(at->data)));
  g_list_free_full(paths, reinterpret_cast<GDestroyNotify>(gtk_tree_path_free));
  return rows;
}

void recover(GtkTreeView* view, const platform::ItemList& list) {
  if (!list.recover) return;
  GtkTreeModel* model = gtk_tree_view_get_model(view);
  std::vector<GtkTreeRowReference*> rows = selected_rows(view);
  std::vector<std::string> entries;
  for (GtkTreeRowReference* row : rows) {
    GtkTreePath* path = gtk_tree_row_reference_get_path(row);
    GtkTreeIter item;
    if (gtk_tree_model_get_iter(model, &item, path)) entries.push_back(cell(model, &item, kEntryColumn));
    gtk_tree_path_free(path);
  }
  const std::vector<bool> done = list.recover(entries);
  for (size_t i = 0; i < rows.size(); ++i) {
    GtkTreePath* path = gtk_tree_row_reference_get_path(rows[i]);
    GtkTreeIter item;
    if (i < done.size() && done[i] && path && gtk_tree_model_get_iter(model, &item, path))
      gtk_list_store_remove(GTK_LIST_STORE(model), &item);
    gtk_tree_path_free(path);
    gtk_tree_row_reference_free(rows[i]);
  }
}

void test_in_browser(GtkTreeView* view, const platform::ItemList& list) {
  std::vector<GtkTreeRowReference*> rows = selected_rows(view);
  if (!rows.empty() && list.test_in_browser) {
    GtkTreeModel* model = gtk_tree_view_get_model(view);
    GtkTreePath* path = gtk_tree_row_reference_get_path(rows.front());
    GtkTreeIter item;
    if (gtk_tree_model_get_iter(model, &item, path)) list.test_in_browser(cell(model, &item, kUrlColumn));
    gtk_tree_path_free(path);
  }
  for (GtkTreeRowReference* row : rows) gtk_tree_row_reference_free(row);
}

}  // namespace

void gtk_show_item_list(void* owner, const platform::ItemList& list) {
  GtkWidget* dialog = gtk_dialog_new();
  gtk_window_set_title(GTK_WINDOW(dialog), "Item List");
  gtk_window_set_transient_for(GTK_WINDOW(dialog), dialog_parent(owner));
  gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
  gtk_window_set_default_size(GTK_WINDOW(dialog), 780, 420);
  GtkWidget* recover_button = gtk_dialog_add_button(GTK_DIALOG(dialog), "Recover", kRecover);
  gtk_widget_set_sensitive(recover_button, list.recover_enabled);
  gtk_dialog_add_button(GTK_DIALOG(dialog), "Close", kClose);
  gtk_dialog_add_button(GTK_DIALOG(dialog), "Test in Browser", kTestInBrowser);
  gtk_dialog_set_default_response(GTK_DIALOG(dialog), kClose);

  GtkWidget* area = gtk_dialog_get_content_area(GTK_DIALOG(dialog));
  if (list.caption_line) {
    GtkWidget* caption = gtk_label_new("Here are all items you selected.");
    gtk_label_set_xalign(GTK_LABEL(caption), 0);
    gtk_box_pack_start(GTK_BOX(area), caption, FALSE, FALSE, 6);
  }
  GtkListStore* store = filled_store(list);
  GtkWidget* view = gtk_tree_view_new_with_model(GTK_TREE_MODEL(store));
  g_object_unref(store);
  for (int column = 0; column < kColumnCount; ++column) {
    GtkTreeViewColumn* shown = gtk_tree_view_column_new_with_attributes(
        kColumns[column], gtk_cell_renderer_text_new(), "text", column, nullptr);
    gtk_tree_view_column_set_resizable(shown, TRUE);
    gtk_tree_view_append_column(GTK_TREE_VIEW(view), shown);
  }
  gtk_tree_selection_set_mode(gtk_tree_view_get_selection(GTK_TREE_VIEW(view)), GTK_SELECTION_MULTIPLE);
  GtkWidget* scrolled = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_container_add(GTK_CONTAINER(scrolled), view);
  gtk_box_pack_start(GTK_BOX(area), scrolled, TRUE, TRUE, 0);
  gtk_widget_show_all(dialog);

  for (;;) {
    const int response = gtk_dialog_run(GTK_DIALOG(dialog));
    if (response == kRecover) recover(GTK_TREE_VIEW(view), list);
    else if (response == kTestInBrowser) test_in_browser(GTK_TREE_VIEW(view), list);
    else break;
  }
  gtk_widget_destroy(dialog);
  while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
}

}  // namespace posix
}  // namespace platform
