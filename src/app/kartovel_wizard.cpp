// KartovelWizard: page order, shared state and the Back button that checks the page's edits.
#include "app/kartovel_wizard.h"

#include <QAbstractButton>

KartovelWizard::KartovelWizard(WizardPrompts* prompts)
    : openPage_(&sourceImage_, prompts ? prompts : &toolkitPrompts_),
      sourcePage_(&sourceImage_, &sourceProjection_, prompts ? prompts : &toolkitPrompts_),
      exportPage_(&sourceImage_, &sourceProjection_, &destinationProjection_,
                  prompts ? prompts : &toolkitPrompts_) {
  sourceProjection_.Select(sourceProjection_.typeCode);
  destinationProjection_.Select(destinationProjection_.typeCode);
  setWindowTitle(QStringLiteral("Wizard"));
  setWizardStyle(QWizard::ClassicStyle);
  // Each page is set up once, the first time it is shown; Back and Next keep every value.
  setOption(QWizard::IndependentPages);
  setPage(kOpenPage, &openPage_);
  setPage(kSourcePage, &sourcePage_);
  setPage(kExportPage, &exportPage_);
  // The sheet has the size of its largest page from the first page on, so it neither grows under
  // the user's hand nor stretches the pages' fixed layouts; the smaller pages centre their
  // controls.
  QSize largest;
  for (const int id : pageIds()) largest = largest.expandedTo(page(id)->minimumSize());
  for (const int id : pageIds()) page(id)->setFixedSize(largest);

  QAbstractButton* back = button(QWizard::BackButton);
  disconnect(back, SIGNAL(clicked()), this, SLOT(back()));
  connect(back, &QAbstractButton::clicked, this, [this] { Back(); });
}

KartovelWizard::~KartovelWizard() {
  // The pages are members: take them out before they die so the sheet never sees a dead page.
  for (const int id : pageIds()) removePage(id);
}

void KartovelWizard::Back() {
  bool canLeave = true;
  if (currentId() == kSourcePage) canLeave = sourcePage_.ExchangeFromControls();
  if (currentId() == kExportPage) canLeave = exportPage_.ExchangeFromControls();
  if (canLeave) back();
}
