#include "app/compact_check_box.h"

#include <algorithm>

#if defined(__WXGTK3__) && defined(SONBALANCER_HAVE_GTK3)
#include <gtk/gtk.h>
#endif

CompactCheckBox::CompactCheckBox(wxWindow* parent, wxWindowID id, const wxString& label,
                                 const wxPoint& pos, const wxSize& size, long style,
                                 const wxValidator& validator, const wxString& name)
    : wxCheckBox(parent, id, label, pos, size, style, validator, name) {
#ifdef __WXGTK3__
  if (size.y > 0 && size.y < GetBestSize().y) {
    // One pixel under the height leaves room for the indicator's border; never above the
    // theme's usual 14 pixels.
    const int indicatorPx = std::min(14, size.y - 1);
    GTKApplyCssStyle(
        wxString::Format(
            "* { padding-top: 0; padding-bottom: 0; }"
            " check { min-width: %dpx; min-height: %dpx; margin-top: 0; margin-bottom: 0; }",
            indicatorPx, indicatorPx)
            .utf8_str());
  }
#ifdef SONBALANCER_HAVE_GTK3
  if (size.x > 0 && size.x < GetBestSize().x) {
    // A label wider than its fixed width ends in an ellipsis instead; GTK would otherwise
    // complain at every layout that the box is narrower than the label needs.
    if (GtkWidget* labelWidget = gtk_bin_get_child(GTK_BIN(m_widget));
        labelWidget && GTK_IS_LABEL(labelWidget)) {
      gtk_label_set_ellipsize(GTK_LABEL(labelWidget), PANGO_ELLIPSIZE_END);
    }
  }
#endif
#endif
  if (size.x == wxDefaultCoord && size.y > 0) {
    // The best size known so far is that of the indicator before its height was set above.
    InvalidateBestSize();
    SetSize(wxSize(GetBestSize().x, size.y));
  }
}
