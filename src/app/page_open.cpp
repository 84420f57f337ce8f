// PageOpen: loading the source image from a typed or browsed path, with a stretched preview.
#include "app/page_open.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/preview_frame.h"
#include "app/wizard_prompts.h"
#include "engine/reproject.h"

namespace {

constexpr std::uint32_t kEmptyPreviewColour = 0x8000FFFF;  // yellow

}  // namespace

PageOpen::PageOpen(VideoBuffer* source, WizardPrompts* prompts)
    : source_(source), prompts_(prompts) {
  setTitle(QStringLiteral("Select Source Image"));
  QWidget* panel = CentredPanel(*this, 410, 270);
  auto* label = new QLabel(QStringLiteral("Source Image Name:"), panel);
  // Right-aligned against the edit, as wide as the font needs.
  label->setGeometry(DialogRect(*this, 0, 7, 102, 14));
  label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  pathEdit_ = new QLineEdit(panel);
  pathEdit_->setGeometry(DialogRect(*this, 104, 7, 200, 14));
  label->setBuddy(pathEdit_);
  browse_ = new QPushButton(QStringLiteral("&..."), panel);
  browse_->setGeometry(DialogRect(*this, 304, 7, 14, 14));
  frame_ = new PreviewFrame(panel, &preview_, QPoint(1, 1));
  frame_->setGeometry(DialogRect(*this, 77, 28, 257, 234));
  frame_->SetBeforePaint([this] { RenderPreview(); });

  connect(browse_, &QPushButton::clicked, this, [this] { Browse(); });
  connect(pathEdit_, &QLineEdit::textChanged, this,
          [this](const QString& text) { PathChanged(text); });
}

PageOpen::~PageOpen() { preview_.Release(); }

void PageOpen::SetPath(const QString& path) { pathEdit_->setText(path); }

void PageOpen::initializePage() {
  const QSize size = frame_->BufferSize();
  preview_.Create(size.width(), size.height());
}

void PageOpen::Browse() {
  const QString chosen = prompts_->AskOpenPath(this);
  if (chosen.isEmpty()) return;
  path_ = chosen;
  source_->Release();
  if (source_->Load(FilePath(path_)) != 0) {
    prompts_->ShowMessage(this, QStringLiteral("Unable to read image file ") + path_);
    frame_->update();
    return;
  }
  pathEdit_->setText(path_);
  frame_->update();
}

void PageOpen::PathChanged(const QString& text) {
  path_ = text;
  source_->Release();
  source_->Load(FilePath(path_));
  frame_->update();
}

void PageOpen::RenderPreview() {
  if (!preview_.HasStorage()) return;
  preview_.Fill(kEmptyPreviewColour);
  if (source_->HasStorage()) Resample(*source_, preview_);
}

bool PageOpen::validatePage() {
  path_ = pathEdit_->text();
  if (source_->Load(FilePath(path_)) < 0) {
    prompts_->ShowMessage(this, QStringLiteral("Cannot open file ") + path_);
    return false;
  }
  if (source_->width == 0) {
    prompts_->ShowMessage(this, QStringLiteral("A valid image file is not open"));
    return false;
  }
  return true;
}
