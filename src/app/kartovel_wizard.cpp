// KartovelWizard: page order, shared state, settings files, drops, and Enter that stays on the
// page.
#include "app/kartovel_wizard.h"

#include <QAbstractButton>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QUrl>
#include <cmath>

#include "cli/settings_file.h"

namespace {

// A word for a POSIX shell: as it is when it needs no quoting, otherwise in single quotes.
QString ShellWord(const QString& word) {
  static const QString kPlain =
      QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_./,=+:@%");
  bool plain = !word.isEmpty();
  for (const QChar c : word) plain &= kPlain.contains(c);
  if (plain) return word;
  QString quoted = word;
  quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
  return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

// The local file a drag carries, or an empty string.
QString DroppedFile(const QMimeData* data) {
  if (!data || !data->hasUrls() || data->urls().isEmpty()) return QString();
  const QUrl url = data->urls().first();
  return url.isLocalFile() ? url.toLocalFile() : QString();
}

}  // namespace

KartovelWizard::KartovelWizard(WizardPrompts* prompts)
    : prompts_(prompts ? prompts : &toolkitPrompts_),
      openPage_(&sourceImage_, prompts_),
      sourcePage_(&sourceImage_, &sourceProjection_, &points_, prompts_),
      exportPage_(&sourceImage_, &sourceProjection_, &destinationProjection_, prompts_) {
  // The command line's defaults, so that untouched values make the same file in both.
  ApplySettings(MapSettings{}, &sourceProjection_);
  destinationProjection_.Select(destinationProjection_.typeCode);
  setWindowTitle(QStringLiteral("Kartovel"));
  setWizardStyle(QWizard::ClassicStyle);
  setPage(kOpenPage, &openPage_);
  setPage(kSourcePage, &sourcePage_);
  setPage(kExportPage, &exportPage_);
  setAcceptDrops(true);
  setSizeGripEnabled(true);

  setButtonText(kLoadSettingsButton, QStringLiteral("&Load Settings..."));
  setButtonText(kSaveSettingsButton, QStringLiteral("&Save Settings..."));
  setButtonText(kCopyCommandButton, QStringLiteral("Copy Co&mmand Line"));
  setOption(QWizard::HaveCustomButton1);
  setOption(QWizard::HaveCustomButton2);
  setOption(QWizard::HaveCustomButton3);
  setButtonLayout({kLoadSettingsButton, kSaveSettingsButton, kCopyCommandButton, Stretch,
                   BackButton, NextButton, FinishButton, CancelButton});
  connect(button(kLoadSettingsButton), &QAbstractButton::clicked, this, [this] {
    const QString path = prompts_->AskSettingsPath(this, false, PageOpen::LastFolder());
    if (!path.isEmpty()) LoadSettings(path);
  });
  connect(button(kSaveSettingsButton), &QAbstractButton::clicked, this, [this] {
    const QString suggested =
        openPage_.Path().isEmpty() ? PageOpen::LastFolder() : SidecarPath(openPage_.Path());
    const QString path = prompts_->AskSettingsPath(this, true, suggested);
    if (!path.isEmpty() && !SaveSettings(path)) {
      prompts_->ShowMessage(this, QStringLiteral("Cannot write file ") + path);
    }
  });
  connect(button(kCopyCommandButton), &QAbstractButton::clicked, this,
          [this] { QGuiApplication::clipboard()->setText(CommandLine()); });

  openPage_.SetLoadedHook([this](const QString& path) {
    if (QFileInfo::exists(SidecarPath(path))) LoadSettings(SidecarPath(path));
  });
  // After the page has read the picture the path names (or found none).
  connect(openPage_.PathEdit(), &QLineEdit::textChanged, this, [this] { PageChanged(currentId()); });
  exportPage_.SetHooks([this] { return openPage_.Path(); },
                       [this](const QString&) {
                         PageOpen::Remember(openPage_.Path());
                         // Beside the picture, for the next time it is opened; a folder that
                         // cannot take it is no reason to bother the user.
                         SaveSettings(SidecarPath(openPage_.Path()));
                       });
  connect(this, &QWizard::currentIdChanged, this, [this](int id) { PageChanged(id); });

  // Enter in an edit applies its value and stays on the page (rather than pressing Next).
  for (QLineEdit* edit : findChildren<QLineEdit*>()) edit->installEventFilter(this);

  QAbstractButton* back = button(QWizard::BackButton);
  disconnect(back, SIGNAL(clicked()), this, SLOT(back()));
  connect(back, &QAbstractButton::clicked, this, [this] { Back(); });
  resize(sizeHint().expandedTo(QSize(1100, 720)));
}

KartovelWizard::~KartovelWizard() {
  // The pages are members: take them out before they die so the sheet never sees a dead page.
  for (const int id : pageIds()) removePage(id);
}

void KartovelWizard::PageChanged(int id) {
  // Settings and a command line belong to a picture.
  const bool picture = id != kOpenPage || sourceImage_.HasStorage();
  button(kSaveSettingsButton)->setEnabled(picture);
  button(kCopyCommandButton)->setEnabled(picture);
}

bool KartovelWizard::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      // The edit handles the key itself (returnPressed, editingFinished); the dialog never sees
      // it, so its default button stays unpressed.
      static_cast<QObject*>(watched)->event(event);
      event->accept();
      return true;
    }
  }
  return QWizard::eventFilter(watched, event);
}

void KartovelWizard::Back() {
  bool canLeave = true;
  if (currentId() == kSourcePage) canLeave = sourcePage_.ExchangeFromControls();
  if (currentId() == kExportPage) canLeave = exportPage_.ExchangeFromControls();
  if (canLeave) back();
}

Settings KartovelWizard::CurrentSettings() const {
  Settings s;
  s.map = SettingsOf(sourceProjection_);
  s.projection = std::to_string(s.map.typeCode);
  exportPage_.StoreChoices(&s);
  // Points placed on the source view but not given a place yet are left out.
  for (const ControlPoint& p : points_) {
    if (!std::isnan(p.latitude)) s.points.push_back(p);
  }
  return s;
}

bool KartovelWizard::SaveSettings(const QString& path) const {
  MapInstance named = sourceProjection_;
  return WriteSettingsFile(FilePath(path), SettingsFileText(CurrentSettings(), named.GetName()));
}

bool KartovelWizard::LoadSettings(const QString& path) {
  // The file is read over the current settings: what it does not name stays as it is.
  Settings loaded = CurrentSettings();
  std::vector<std::string> ignored;
  std::string error;
  if (!ReadSettingsFile(FilePath(path), &loaded, &ignored, &error)) {
    prompts_->ShowMessage(this, QString::fromStdString(error));
    return false;
  }
  ApplyLoaded(loaded, ignored, path);
  return true;
}

void KartovelWizard::ApplyLoaded(const Settings& loaded, const std::vector<std::string>& ignored,
                                 const QString& path) {
  QStringList notes;
  for (const std::string& line : ignored) notes << QString::fromStdString(line);
  MapSettings map = loaded.map;
  map.typeCode = FindProjection(loaded.projection);
  if (map.typeCode < 0) {
    notes << QStringLiteral("unknown projection %1: the projection is kept")
                 .arg(QString::fromStdString(loaded.projection));
    map.typeCode = sourceProjection_.typeCode;
  }
  const MapInstance before = sourceProjection_;
  if (ApplySettings(map, &sourceProjection_) != 0) {
    notes << QStringLiteral("%1 refuses these parallels: the settings are kept")
                 .arg(QString::fromLatin1(sourceProjection_.GetName()));
    sourceProjection_ = before;
  }
  points_ = loaded.points;
  exportPage_.TakeChoices(loaded, &notes);
  if (currentId() == kSourcePage) sourcePage_.ShowInstance();
  if (!notes.isEmpty()) {
    prompts_->ShowMessage(this, QStringLiteral("Some lines of %1 were ignored:\n").arg(path) +
                                    notes.join(QLatin1Char('\n')));
  }
}

QString KartovelWizard::CommandLine() const {
  // The options of a settings file ("--name value" lines), as words.
  const Settings s = CurrentSettings();
  QStringList words{QStringLiteral("kartovel-convert")};
  const QStringList lines =
      QString::fromStdString(SettingsFileText(s, std::string())).split(QLatin1Char('\n'));
  for (const QString& line : lines) {
    if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) continue;
    const qsizetype blank = line.indexOf(QLatin1Char(' '));
    if (blank < 0) {
      words << line;
    } else {
      words << line.left(blank) << ShellWord(line.mid(blank + 1));
    }
  }
  QString output = exportPage_.OutputPath();
  if (output.isEmpty()) output = QStringLiteral("OUTPUT.png");
  words << ShellWord(QFileInfo(openPage_.Path()).absoluteFilePath()) << ShellWord(output);
  return words.join(QLatin1Char(' '));
}

void KartovelWizard::dragEnterEvent(QDragEnterEvent* event) {
  if (!DroppedFile(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void KartovelWizard::dropEvent(QDropEvent* event) {
  const QString file = DroppedFile(event->mimeData());
  if (file.isEmpty()) return;
  event->acceptProposedAction();
  // A new picture starts over from the first page, where it shows.
  if (currentId() != kOpenPage) restart();
  openPage_.SetPath(file);
}
