// What the entry editor and the pickers need from the program around them.
#pragma once

#include <functional>

class QWidget;

namespace tessavo {
class Blog;
class Host;
}  // namespace tessavo
namespace tessavo::desktop {
struct SessionSettings;
}

namespace tessavo::editor {

struct EditorContext {
  Blog* blog = nullptr;                          // the open blog (category lookup, pickers)
  Host* host = nullptr;                          // the program's Host: the blog's questions
  desktop::SessionSettings* settings = nullptr;  // fonts and the editor's placement
  // The program's add-category operation (the category picker's add button); true when a
  // category was added.
  std::function<bool(QWidget* parent)> add_category;
};

}  // namespace tessavo::editor
