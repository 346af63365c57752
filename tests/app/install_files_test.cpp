// The files a desktop needs to list the program: its icon and its menu entry.
#include <gtest/gtest.h>
#include <wx/image.h>

#include "tests/support/temp_folder.h"

namespace {

const std::string kAppFolder = SONBALANCER_APP_FOLDER;

TEST(ApplicationIcon, IsNinetySixPixelsSquareWithTransparentCorners) {
  if (wxImage::FindHandler(wxBITMAP_TYPE_PNG) == nullptr) wxImage::AddHandler(new wxPNGHandler);
  wxImage icon;
  ASSERT_TRUE(icon.LoadFile(kAppFolder + "/icons/sonbalancer.png", wxBITMAP_TYPE_PNG));
  EXPECT_EQ(icon.GetWidth(), 96);
  EXPECT_EQ(icon.GetHeight(), 96);
  ASSERT_TRUE(icon.HasAlpha());
  EXPECT_EQ(icon.GetAlpha(0, 0), 0);
  EXPECT_EQ(icon.GetAlpha(95, 95), 0);
  EXPECT_EQ(icon.GetAlpha(48, 48), 255);
}

TEST(DesktopEntry, StartsTheProgramWithItsIcon) {
  const std::string entry = testing_support::readFile(kAppFolder + "/sonbalancer.desktop");
  EXPECT_EQ(entry.rfind("[Desktop Entry]\n", 0), 0u);
  EXPECT_NE(entry.find("\nType=Application\n"), std::string::npos);
  EXPECT_NE(entry.find("\nName=SonBalancer\n"), std::string::npos);
  // A file manager's "Open With" passes the files it opens, which start one job.
  EXPECT_NE(entry.find("\nExec=sonbalancer %F\n"), std::string::npos);
  EXPECT_NE(entry.find("\nMimeType=audio/mpeg;"), std::string::npos);
  EXPECT_NE(entry.find("\nIcon=sonbalancer\n"), std::string::npos);
  EXPECT_NE(entry.find("\nTerminal=false\n"), std::string::npos);
}

}  // namespace
