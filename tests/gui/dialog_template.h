// A dialog template as the resource compiler stored it (the extended form, DIALOGEX): styles,
// caption, font and each control's class, id, position and size. Live windows do not show every
// style as authored (an edit or a progress bar turns its border into an edge of its own), so the
// tests check the styles here and the positions on the live dialog. Windows only.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace gui {

struct TemplateItem {
    DWORD style = 0;
    DWORD exStyle = 0;
    int id = 0;
    short x = 0, y = 0, width = 0, height = 0;
    std::wstring windowClass;  // predefined classes by name: Button, Edit, Static...
    std::wstring text;
};

struct DialogTemplate {
    bool found = false;
    DWORD style = 0;
    short width = 0, height = 0;
    std::wstring caption;
    WORD pointSize = 0;
    std::wstring font;
    std::vector<TemplateItem> items;

    const TemplateItem* item(int id) const;
};

// The template `id` of `module`; `found` is false if it is missing or not an extended one.
DialogTemplate readTemplate(HMODULE module, WORD id);

}  // namespace gui
