// The update window: its picture and progress bar, the timer that starts the update run, and the
// messages of the run shown to the user.
#include "app/update_form.h"

#include "app/platform_progress.h"
#include "app/update_transaction.h"
#include "controls/theme_manager.h"
#include "controls/themed_progress_bar.h"
#include "platform/jpeg_image.h"
#include "resources/background_picture.h"
#include "resources/window_layout.h"

TForm1* Form1 = nullptr;

namespace {

// The bar's repaint requests go to the window's painted area.
class TWindowSurface : public TControlSurface {
 public:
  explicit TWindowSurface(platform::ui::Window& window) : window_(window) {}
  void Invalidate() override { window_.RepaintAreas(); }
  void Repaint() override { window_.RepaintAreas(); }

 private:
  platform::ui::Window& window_;
};

TThemeManager& ThemeManager() {
  // What the platform has, found once. Linux has neither the compositor's hosted bar nor visual
  // styles nor system colours: the classic painting shows there, in the classic colours.
  static auto* manager = new TThemeManager(PlatformThemeStartupFacts(), PlatformSystemColors());
  return *manager;
}

}  // namespace

TForm1::TForm1(const update_transaction::TRecovery& recovery) : run_(recovery) {
  namespace layout = resources;
  window_ = std::make_unique<platform::ui::Window>(
      std::string(layout::form1::kClassName), std::string(layout::form1::kCaption),
      layout::form1::kClientWidth, layout::form1::kClientHeight);
  window_->OnCloseRequest = [] { platform::ui::RequestTermination(); };
  // Image1: the background picture at its natural size.
  if (platform::DecodeJpeg(resources::kBackgroundJpeg, resources::kBackgroundJpegSize,
                           background_)) {
    window_->SetBackground({background_.width, background_.height, background_.pixels.data()});
  }
  // pb_unzip, drawn above the picture: the platform's own bar when the compositor is there, else
  // the visual-style parts, else the classic painting.
  namespace bar = resources::pb_unzip;
  pb_unzip = std::make_unique<TThemedProgressBar>(ThemeManager(), [this] {
    return CreatePlatformHostedBar(*window_, bar::kLeft, bar::kTop, bar::kWidth, bar::kHeight);
  });
  // The painted area keeps the style alive: it outlives pb_unzip with the window.
  auto style = std::make_shared<TPlatformProgressStyle>(window_.get());
  pb_unzip->SetVisualStyle(style.get());
  ConnectSystemChanges(*window_, ThemeManager(), style.get());
  pb_unzip->SetSize(bar::kWidth, bar::kHeight);
  pb_unzip->SetBorderWidth(bar::kBorderWidth);
  pb_unzip->SetOrientation(bar::kOrientationHorizontal ? poHorizontal : poVertical);
  pb_unzip->SetThemeObject(std::string(bar::kThemeObject));
  pb_unzip->SetShowBorder(bar::kShowBorder);
  pb_unzip->SetSmooth(bar::kSmooth);
  pb_unzip->SetMin(bar::kMin);
  pb_unzip->SetMax(bar::kMax);
  pb_unzip->SetPosition(bar::kPosition);
  surface_ = std::make_unique<TWindowSurface>(*window_);
  pb_unzip->SetSurface(surface_.get());
  window_->AddPaintedArea(bar::kLeft, bar::kTop, bar::kWidth, bar::kHeight,
                          [this, style](uint8_t* rgb, int width, int height) {
                            // What the bar leaves unpainted shows the control's colour.
                            TRgbCanvas canvas(width, height, ThemeManager().Colors().ButtonFace);
                            pb_unzip->Paint(canvas);
                            std::copy(canvas.Data(), canvas.Data() + canvas.RowBytes() * height,
                                      rgb);
                          });
  // The run's waits and its extraction keep the window alive and its bar moving.
  run_.OnWait = [] { platform::ui::ProcessMessages(); };
  run_.OnNothingToApply = [] { platform::ui::RequestTermination(); };
  run_.OnProgress = [this](TUnZipper* sender, int percent) { onUnzipProcess(sender, percent); };
  run_.OnExtracted = [this](TUnZipper* sender, int count) { onUnzipDone(sender, count); };
  Timer1 = std::make_unique<platform::ui::Timer>(resources::timer1::kIntervalMs, [this] {
    try {
      Timer1Timer();
    } catch (const std::exception& e) {
      platform::ui::ShowErrorMessage(e.what());
    }
  });
  Timer1->SetEnabled(resources::timer1::kEnabled);  // armed when the description is loaded
  Form1 = this;
  FormCreate();
}

TForm1::~TForm1() {
  FormDestroy();
  pb_unzip->SetSurface(nullptr);
  Form1 = nullptr;
}

void TForm1::FormCreate() {
  Timer1->SetEnabled(false);
  run_.Prepare();
  if (!window_->Visible()) window_->Show();
  Timer1->SetEnabled(true);
}

void TForm1::Timer1Timer() {
  Timer1->SetEnabled(false);
  update();
}

void TForm1::update() {
  FinishUpdate(run_.Update());
}

void TForm1::onUnzipProcess(TUnZipper*, int percent) {
  pb_unzip->SetPosition(percent);
  platform::ui::ProcessMessages();
}

void TForm1::onUnzipDone(TUnZipper*, int) {
  // The component still works after this event until UnZip returns: the release, the deletion
  // of the archive and the closing of the window wait for that (the run's Update, FinishUpdate).
}

void TForm1::FinishUpdate(const TRunResult& result) {
  if (!result.Failure.empty()) platform::ui::ShowErrorMessage(result.Failure);
  Close();
}

void TForm1::Close() {
  platform::ui::RequestTermination();
}

void TForm1::FormDestroy() {
  if (destroyed_) return;
  destroyed_ = true;
  openmain();
  LogList.clear();
}

void TForm1::openmain() {
  // The run's end: the program started again (when the run says so) and update.result written.
  // A program that cannot be started again is a failure a person must hear of.
  const std::string failure = run_.Finish();
  if (!failure.empty()) platform::ui::ShowErrorMessage(failure);
}

int TForm1::ExitCode() const {
  return run_.ExitCode();
}
