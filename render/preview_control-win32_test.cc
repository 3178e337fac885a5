#include "render/preview_control-win32.h"

#include <gtest/gtest.h>

#include <string>

#include "render/render_test_util.h"

namespace render {
namespace {

/// A picture control like the dialog's: a static bitmap control that
/// centres its image instead of resizing to it, 283 x 252 client pixels.
class PreviewControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    control_ = ::CreateWindowExW(
        0, L"STATIC", L"", WS_POPUP | SS_BITMAP | SS_CENTERIMAGE, 0, 0, 283,
        252, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(control_, nullptr);
  }
  void TearDown() override {
    if (control_) ::DestroyWindow(control_);
  }

  HBITMAP Shown() const {
    return reinterpret_cast<HBITMAP>(
        ::SendMessageW(control_, STM_GETIMAGE, IMAGE_BITMAP, 0));
  }
  SIZE ShownSize() const {
    BITMAP info = {};
    ::GetObjectW(Shown(), sizeof(info), &info);
    return {info.bmWidth, info.bmHeight};
  }

  HWND control_ = nullptr;
  GlyphFonts fonts_ =
      testutil::SameFonts(testutil::MakeFont(testutil::kCjkFace));
};

TEST_F(PreviewControlTest, ShowsTheScaledPreviewInTheControl) {
  RenderPreview(control_, fonts_, false, false, std::u16string(13, u'\u6D4B'));
  ASSERT_NE(Shown(), nullptr);
  EXPECT_EQ(ShownSize().cx, 244);
  EXPECT_EQ(ShownSize().cy, 252);
  RenderPreview(control_, fonts_, true, false, u"ABC");
  EXPECT_EQ(ShownSize().cx, 192);
  EXPECT_EQ(ShownSize().cy, 66);
}

TEST_F(PreviewControlTest, ReplacedImageIsDeleted) {
  RenderPreview(control_, fonts_, false, false, u"AB");
  HBITMAP first = Shown();
  ASSERT_NE(first, nullptr);
  RenderPreview(control_, fonts_, false, true, u"\u300C\u300D");
  EXPECT_NE(Shown(), first);
  EXPECT_EQ(::GetObjectType(first), 0u);  // no longer a GDI object
}

TEST_F(PreviewControlTest, EmptyTextKeepsTheShownImage) {
  RenderPreview(control_, fonts_, false, false, u"AB");
  HBITMAP shown = Shown();
  RenderPreview(control_, fonts_, false, false, u"");
  EXPECT_EQ(Shown(), shown);
  EXPECT_NE(::GetObjectType(shown), 0u);
}

}  // namespace
}  // namespace render
