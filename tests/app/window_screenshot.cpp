// Saves a picture of the main window as a user sees it, to check its layout by eye:
//   window_screenshot out.png [running]
// "running" shows the window in the middle of a job. Needs a display; not part of the tests.
#include <wx/app.h>
#include <wx/dcmemory.h>
#include <wx/dcscreen.h>
#include <wx/gauge.h>
#include <wx/stattext.h>
#include <wx/image.h>
#include <wx/init.h>
#include <wx/utils.h>

#include <cstdio>
#include <cstring>

#include "app/main_window.h"

namespace {

void settle() {
  for (int i = 0; i < 20; ++i) {
    wxTheApp->Yield(true);
    wxMilliSleep(25);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s out.png [running]\n", argv[0]);
    return 2;
  }
  wxApp::SetInstance(new wxApp);
  if (!wxEntryStart(argc, argv)) {
    std::fprintf(stderr, "no display\n");
    return 1;
  }
  wxInitAllImageHandlers();
  auto* window = new zevozaroridAvori(nullptr);
  window->Move(0, 0);
  window->Show(true);
  settle();
  if (argc > 2 && std::strcmp(argv[2], "running") == 0) {
    window->setStateText("RUNNING");
    static_cast<wxStaticText*>(wxWindow::FindWindowByName("ID_STATICTEXT3"))
        ->SetLabelText("2 files in process: ...usic/Some Artist - A Rather Long Track & Co.mp3");
    static_cast<wxGauge*>(wxWindow::FindWindowByName("ID_GAUGE1"))->SetValue(45);
    static_cast<wxGauge*>(wxWindow::FindWindowByName("ID_GAUGE2"))->SetValue(66);
    static_cast<wxCheckBox*>(wxWindow::FindWindowByName("ID_CHECKBOX5"))->SetValue(true);
    settle();
  }
  const wxRect area = window->GetScreenRect();
  std::fprintf(stderr, "frame %d,%d %dx%d client %dx%d\n", area.x, area.y, area.width, area.height,
               window->GetClientSize().x, window->GetClientSize().y);
  for (wxWindow* child : window->GetChildren()) {
    const wxRect r = child->GetRect();
    const wxSize best = child->GetBestSize();
    std::fprintf(stderr, "%-15s %3d,%3d %3dx%-3d best %3dx%d\n",
                 static_cast<const char*>(child->GetName().utf8_str()), r.x, r.y, r.width, r.height,
                 best.x, best.y);
  }
  wxBitmap picture(area.width, area.height);
  {
    wxMemoryDC memory(picture);
    wxScreenDC screen;
    memory.Blit(0, 0, area.width, area.height, &screen, area.x, area.y);
  }
  const bool saved = picture.ConvertToImage().SaveFile(argv[1], wxBITMAP_TYPE_PNG);
  window->Destroy();
  settle();
  wxEntryCleanup();
  return saved ? 0 : 1;
}
