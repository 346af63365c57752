#include "app/compact_check_box.h"

#include <algorithm>

CompactCheckBox::CompactCheckBox(wxWindow* parent, wxWindowID id, const wxString& label, const wxPoint& pos,
                                 const wxSize& size, long style, const wxValidator& validator,
                                 const wxString& name)
    : wxCheckBox(parent, id, label, pos, size, style, validator, name) {
#ifdef __WXGTK3__
  if (size.y > 0 && size.y < GetBestSize().y) {
    // One pixel under the height leaves room for the indicator's border; never above the
    // theme's usual 14 pixels.
    const int indicatorPx = std::min(14, size.y - 1);
    GTKApplyCssStyle(wxString::Format("* { padding-top: 0; padding-bottom: 0; }"
                                      " check { min-width: %dpx; min-height: %dpx; margin-top: 0; margin-bottom: 0; }",
                                      indicatorPx, indicatorPx)
                         .utf8_str());
  }
#endif
}
