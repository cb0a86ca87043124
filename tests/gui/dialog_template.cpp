#include "tests/gui/dialog_template.h"

namespace gui {

namespace {

class Reader {
  public:
    explicit Reader(const BYTE* at) : at_(at) {}
    WORD word() {
        WORD w;
        memcpy(&w, at_, 2);
        at_ += 2;
        return w;
    }
    DWORD dword() {
        DWORD d;
        memcpy(&d, at_, 4);
        at_ += 4;
        return d;
    }
    BYTE byte() { return *at_++; }
    std::wstring text() {
        std::wstring s;
        for (WORD c = word(); c != 0; c = word()) s += static_cast<wchar_t>(c);
        return s;
    }
    // A name or an ordinal (0xFFFF then the number); predefined control classes by name.
    std::wstring nameOrOrdinal() {
        const WORD first = word();
        if (first == 0) return L"";
        if (first == 0xFFFF) {
            const WORD ordinal = word();
            static const wchar_t* const classes[] = {L"Button",  L"Edit",      L"Static",
                                                     L"ListBox", L"ScrollBar", L"ComboBox"};
            if (ordinal >= 0x80 && ordinal <= 0x85) return classes[ordinal - 0x80];
            return L"#" + std::to_wstring(ordinal);
        }
        std::wstring s(1, static_cast<wchar_t>(first));
        for (WORD c = word(); c != 0; c = word()) s += static_cast<wchar_t>(c);
        return s;
    }
    void skip(size_t n) { at_ += n; }
    void alignToDword(const BYTE* base) {
        while ((at_ - base) % 4 != 0) ++at_;
    }

  private:
    const BYTE* at_;
};

}  // namespace

const TemplateItem* DialogTemplate::item(int id) const {
    for (const TemplateItem& i : items) {
        if (i.id == id) return &i;
    }
    return nullptr;
}

DialogTemplate readTemplate(HMODULE module, WORD id) {
    DialogTemplate t;
    const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(5));
    if (found == nullptr) return t;
    const auto* base = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
    if (base == nullptr) return t;
    Reader r(base);
    if (r.word() != 1 || r.word() != 0xFFFF) return t;  // not DIALOGEX
    r.dword();                                          // help id
    r.dword();                                          // extended style
    t.style = r.dword();
    const WORD count = r.word();
    r.word();
    r.word();
    t.width = static_cast<short>(r.word());
    t.height = static_cast<short>(r.word());
    r.nameOrOrdinal();  // menu
    r.nameOrOrdinal();  // class
    t.caption = r.text();
    if (t.style & (DS_SETFONT | DS_SHELLFONT)) {
        t.pointSize = r.word();
        r.word();  // weight
        r.byte();  // italic
        r.byte();  // character set
        t.font = r.text();
    }
    for (WORD i = 0; i < count; ++i) {
        r.alignToDword(base);
        TemplateItem item;
        r.dword();  // help id
        item.exStyle = r.dword();
        item.style = r.dword();
        item.x = static_cast<short>(r.word());
        item.y = static_cast<short>(r.word());
        item.width = static_cast<short>(r.word());
        item.height = static_cast<short>(r.word());
        item.id = static_cast<int>(r.dword());
        item.windowClass = r.nameOrOrdinal();
        item.text = r.nameOrOrdinal();
        r.skip(r.word());  // creation data
        t.items.push_back(item);
    }
    t.found = true;
    return t;
}

}  // namespace gui
