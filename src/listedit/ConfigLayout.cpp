// The list editor's layout in the settings key: position, size, column widths and bands,
// written after every save and read when the window is shown.
#include "listedit/Config.h"

#include <string>

#include "guikit/RenvoApp.h"
#include "listedit/CoolBar.h"
#include "prompt/Prompt.h"
#include "settings/QRegEx.h"

namespace renvo {

WindowLayout TfrmConfig::currentLayout() const
{
    WindowLayout l;
    const QRect g = geometry();
    l.top = g.top();
    l.height = g.height();
    l.width = g.width();
    l.left = g.left();
    for (size_t c = 0; c < kItemColumnCount; ++c)
        l.columns[c] = lsvFileList->columnWidth(int(c));
    for (int b = 0; b < 2; ++b) {
        l.bandBreak[size_t(b)] = clbConfig->bandBreak(b);
        l.bandWidth[size_t(b)] = clbConfig->bandWidth(b);
    }
    return l;
}

void TfrmConfig::SaveWindowLayout()
{
    const WindowLayout l = currentLayout();
    TQRegEx reg(app_.hivePath());
    try {
        if (!reg.OpenKey(kLayoutKey, true))
            throw ERegistryException(regSetDataFailedText("ListTop"));
        reg.StoreInteger("ListTop", l.top);
        reg.StoreInteger("ListHeight", l.height);
        reg.StoreInteger("ListWidth", l.width);
        reg.StoreInteger("ListLeft", l.left);
        for (size_t c = 0; c < kItemColumnCount; ++c)
            reg.StoreInteger("ListColumn" + std::to_string(c), l.columns[c]);
        for (size_t b = 0; b < 2; ++b) {
            reg.StoreInteger("BandBreak" + std::to_string(b), l.bandBreak[b] ? 1 : 0);
            reg.StoreInteger("BandWidth" + std::to_string(b), l.bandWidth[b]);
        }
    } catch (const ERegistryException& e) {
        app_.prompt().tell(kErrorDialogCaption, e.what(), PromptIcon::Error, this);
    }
}

void TfrmConfig::LoadWindowLayout()
{
    TQRegEx reg(app_.hivePath());
    // The first value missing or unusable ends the restoring; what came before stays.
    auto read = [&reg](const std::string& name, int32_t& out) {
        const std::optional<RegValue> v = reg.ReadValue(name);
        if (!v || v->type != REG_DWORD || v->data.size() != 4)
            return false;
        out = int32_t(uint32_t(v->data[0]) | uint32_t(v->data[1]) << 8 | uint32_t(v->data[2]) << 16 |
                      uint32_t(v->data[3]) << 24);
        return true;
    };
    if (!reg.OpenKey(kLayoutKey, true))
        return;
    int32_t top = 0, height = 0, width = 0, left = 0;
    if (!read("ListTop", top))
        return;
    move(x(), top);
    if (!read("ListHeight", height))
        return;
    resize(this->width(), std::max(height, 1));
    if (!read("ListWidth", width))
        return;
    resize(std::max(width, 1), this->height());
    if (!read("ListLeft", left))
        return;
    move(left, y());
    for (size_t c = 0; c < kItemColumnCount; ++c) {
        int32_t w = 0;
        if (!read("ListColumn" + std::to_string(c), w) || w < -2)
            return;
        if (w == -1 || w == -2)
            lsvFileList->resizeColumnToContents(int(c));  // the two auto-size widths
        else
            lsvFileList->setColumnWidth(int(c), w);
    }
    for (int b = 0; b < 2; ++b) {
        int32_t brk = 0, w = 0;
        if (!read("BandBreak" + std::to_string(b), brk))
            return;
        clbConfig->setBandBreak(b, brk != 0);
        if (!read("BandWidth" + std::to_string(b), w))
            return;
        clbConfig->setBandWidth(b, w);
    }
}

}  // namespace renvo
