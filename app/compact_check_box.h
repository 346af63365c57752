// A check box given a height below the toolkit's own, drawn so that it fits that height.
#pragma once

#include <wx/checkbox.h>

// On GTK the indicator of a check box needs more height than some fixed layouts give it, and
// is squashed flat; this one draws a smaller indicator without vertical padding instead. On
// other toolkits, and at a height that suffices, it is a plain check box. Given no width
// (wxDefaultCoord), it is as wide as its label needs at the given height; a label wider than a
// given width ends in an ellipsis.
class CompactCheckBox : public wxCheckBox {
 public:
  CompactCheckBox(wxWindow* parent, wxWindowID id, const wxString& label, const wxPoint& pos,
                  const wxSize& size, long style, const wxValidator& validator,
                  const wxString& name);
};
