#include "app/qt/QtDialogWindow.h"

#include <QFont>
#include <QIcon>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <climits>

#include "app/AppIcons.h"
#include "app/qt/DialogTemplate.h"

namespace vorn::qt {
namespace {

QString FromWide(const std::wstring& text) { return QString::fromStdWString(text); }

QImage ImageOf(const IconImage& icon) {
  if (!icon.pixels || icon.width <= 0 || icon.height <= 0) return {};
  // The pixels are 0xAARRGGBB values, which is Format_ARGB32 in the machine's byte order; copied
  // so that the image owns its data.
  return QImage(reinterpret_cast<const uchar*>(icon.pixels), icon.width, icon.height, icon.width * 4,
                QImage::Format_ARGB32)
      .copy();
}

QRect PixelRect(const Rect& units) {
  const Rect r = ToPixels(units);
  return QRect(r.x, r.y, r.width, r.height);
}

// QProgressBar counts in int; a 32-bit unsigned range is shifted down until it fits.
int ProgressShift(std::uint32_t high) {
  int shift = 0;
  while ((high >> shift) > static_cast<std::uint32_t>(INT_MAX)) ++shift;
  return shift;
}

}  // namespace

QtDialogWindow::QtDialogWindow(QWidget* parent) : QDialog(parent) {
  // A fixed frame with caption, system menu and close box, and no minimise or maximise box.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  QFont font(QStringLiteral("MS Shell Dlg"));
  font.setFamilies({QStringLiteral("MS Shell Dlg"), QStringLiteral("DejaVu Sans")});
  font.setPixelSize(kFontPixels);
  setFont(font);
  const Rect client = ToPixels(kDialogUnits);
  setFixedSize(client.width, client.height);
  build_controls();
}

QtDialogWindow::~QtDialogWindow() = default;

void QtDialogWindow::build_controls() {
  for (const ControlTemplate& t : kControls) {
    QWidget* widget = nullptr;
    switch (t.kind) {
      case ControlKind::Text: {
        auto* label = new QLabel(this);
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(true);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        if (t.id == control::kStatus) status_ = label;
        widget = label;
        break;
      }
      case ControlKind::Progress:
        progress_ = new QProgressBar(this);
        progress_->setTextVisible(false);
        progress_->setRange(0, static_cast<int>(progress_high_));
        widget = progress_;
        break;
      case ControlKind::List:
        list_ = new QListWidget(this);
        list_->setSelectionMode(QAbstractItemView::NoSelection);
        list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        list_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        list_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
        widget = list_;
        break;
      case ControlKind::Button: {
        auto* button = new QPushButton(this);
        // Enter is routed by keyPressEvent, as a dialog routes it, not by Qt's default button.
        button->setAutoDefault(false);
        const int id = t.id;
        connect(button, &QPushButton::clicked, this, [this, id] {
          if (!inputs_) return;
          if (id == control::kStart) inputs_->OnStartClicked();
          else inputs_->OnCloseClicked();
        });
        widget = button;
        break;
      }
      case ControlKind::Picture:
        picture_ = new QLabel(this);
        picture_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        widget = picture_;
        break;
    }
    widget->setGeometry(PixelRect(t.units));
    widget->setVisible(t.visible);
    controls_[t.id] = widget;
  }
  // Qt stacks a later sibling above an earlier one; the template stacks them the other way round.
  for (const ControlTemplate& t : kControls) controls_[t.id]->lower();
}

int QtDialogWindow::RunModal(IDialogInputs& inputs) {
  inputs_ = &inputs;
  ended_ = false;
  // Its answer only lets the window choose the focus, which Qt does in any case.
  inputs.OnInitDialog();
  // A dialog ended during its initialisation is never shown.
  const int result = ended_ ? end_result_ : exec();
  inputs_ = nullptr;
  for (auto& entry : timers_) entry.second->stop();
  return result;
}

QWidget* QtDialogWindow::Control(int id) const {
  auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second;
}

bool QtDialogWindow::TimerRunning(std::uint32_t id) const {
  auto it = timers_.find(id);
  return it != timers_.end() && it->second->isActive();
}

void QtDialogWindow::SetText(int id, const std::wstring& text) {
  if (id == control::kCaption) {
    setWindowTitle(FromWide(text));
  } else if (auto* label = qobject_cast<QLabel*>(Control(id))) {
    label->setText(FromWide(text));
  } else if (auto* button = qobject_cast<QPushButton*>(Control(id))) {
    button->setText(FromWide(text));
  } else {
    return;
  }
  face_changed();
}

void QtDialogWindow::Show(int id, bool visible) {
  QWidget* widget = Control(id);
  if (!widget) return;
  widget->setVisible(visible);
  face_changed();
}

void QtDialogWindow::SetProgressRange(std::uint32_t low, std::uint32_t high) {
  progress_low_ = low;
  progress_high_ = std::max(low, high);
  progress_position_ = std::clamp(progress_position_, progress_low_, progress_high_);
  const int shift = ProgressShift(progress_high_);
  progress_->setRange(static_cast<int>(progress_low_ >> shift), static_cast<int>(progress_high_ >> shift));
  progress_->setValue(static_cast<int>(progress_position_ >> shift));
  face_changed();
}

// The window has no step-it operation, so the step changes nothing that can be seen or read.
void QtDialogWindow::SetProgressStep(std::uint32_t) {}

std::uint32_t QtDialogWindow::ProgressPosition() const { return progress_position_; }

void QtDialogWindow::SetProgressPosition(std::uint32_t position) {
  // A progress control keeps its position within its range; QProgressBar would instead ignore a
  // value outside it and leave the old one, which the next read would hand back.
  progress_position_ = std::clamp(position, progress_low_, progress_high_);
  progress_->setValue(static_cast<int>(progress_position_ >> ProgressShift(progress_high_)));
  face_changed();
}

void QtDialogWindow::AddListLine(const std::wstring& line) {
  auto* item = new QListWidgetItem(FromWide(line), list_);
  item->setFlags(Qt::ItemIsEnabled);
  apply_list_extent();
}

void QtDialogWindow::SetListHorizontalExtent(int pixels) {
  list_extent_ = std::max(0, pixels);
  apply_list_extent();
}

// A list box scrolls sideways across its horizontal extent, not across its lines' widths: every
// line is made that wide (or as wide as its text, when wider).
void QtDialogWindow::apply_list_extent() {
  const QFontMetrics metrics(list_->font());
  for (int row = 0; row < list_->count(); ++row) {
    QListWidgetItem* item = list_->item(row);
    const int text_width = metrics.horizontalAdvance(item->text()) + 2 * list_->spacing() + 4;
    item->setSizeHint(QSize(std::max(list_extent_, text_width), metrics.height() + 2));
  }
  list_->doItemsLayout();
}

void QtDialogWindow::SetWindowIcons() {
  QIcon icon;
  for (const IconImage& image : ApplicationIconImages()) {
    QImage copy = ImageOf(image);
    if (!copy.isNull()) icon.addPixmap(QPixmap::fromImage(copy));
  }
  setWindowIcon(icon);
}

void QtDialogWindow::SetProductPicture() {
  const QImage image = ImageOf(ProductPicture());
  if (image.isNull()) return;
  picture_->setPixmap(QPixmap::fromImage(image));
  // A static icon control takes the size of its image, whatever the template gave it.
  picture_->resize(image.size());
  face_changed();
}

void QtDialogWindow::MakeStatusTextBold() {
  QFont bold = status_->font();
  bold.setWeight(QFont::Bold);
  status_->setFont(bold);
  face_changed();
}

void QtDialogWindow::SetTimer(std::uint32_t id, std::uint32_t period_ms) {
  if (QThread::currentThread() != thread()) {
    QMetaObject::invokeMethod(this, [this, id, period_ms] { SetTimer(id, period_ms); }, Qt::QueuedConnection);
    return;
  }
  std::unique_ptr<QTimer>& timer = timers_[id];
  if (!timer) {
    timer = std::make_unique<QTimer>();
    connect(timer.get(), &QTimer::timeout, this, [this, id] {
      if (inputs_) inputs_->OnTimer(id);
    });
  }
  const int period = static_cast<int>(std::min<std::uint32_t>(period_ms, INT_MAX));
  timer->start(period);
}

void QtDialogWindow::KillTimer(std::uint32_t id) {
  auto it = timers_.find(id);
  if (it != timers_.end()) it->second->stop();
}

void QtDialogWindow::PostMessage(std::uint32_t message, std::uintptr_t wparam) {
  QMetaObject::invokeMethod(
      this,
      [this, message, wparam] {
        if (inputs_) inputs_->OnMessage(message, wparam);
      },
      Qt::QueuedConnection);
}

void QtDialogWindow::PostQuit(int exit_code) {
  QMetaObject::invokeMethod(
      this,
      [this, exit_code] {
        if (inputs_) EndDialog(exit_code);
      },
      Qt::QueuedConnection);
}

void QtDialogWindow::EndDialog(int result) {
  ended_ = true;
  end_result_ = result;
  done(result);
}

void QtDialogWindow::accept() {
  if (inputs_) inputs_->OnOK();
}

void QtDialogWindow::reject() {
  if (inputs_) inputs_->OnCancel();
}

void QtDialogWindow::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      // A focused push button takes Enter for itself; otherwise Enter is the dialog's OK.
      if (auto* button = qobject_cast<QPushButton*>(focusWidget()); button && button->isVisible()) {
        button->click();
      } else {
        accept();
      }
      return;
    case Qt::Key_Escape:
      reject();
      return;
    default:
      QDialog::keyPressEvent(event);
  }
}

void QtDialogWindow::face_changed() {
  if (observer_) observer_->OnFaceChanged();
}

}  // namespace vorn::qt
