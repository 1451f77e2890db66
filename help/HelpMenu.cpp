#include "help/HelpMenu.h"

#include "app/StationParts.h"
#include "help/AboutForm.h"
#include "help/HelpTexts.h"
#include "platform/MessageBoxes.h"
#include "platform/Programs.h"

void HelpMenu::TipsMenuItem_Click()
{
    m_station.environment.messageBoxes->inform(m_station.window, HelpTexts::tips(),
                                               QString::fromLatin1(HelpTexts::kTipsTitle));
}

void HelpMenu::VisitMenuItem_Click()
{
    m_station.environment.programs->openUrl(QString::fromLatin1(kMakerWebAddress));
}

void HelpMenu::AboutMenuItem_Click()
{
    AboutForm dialog(m_station);
    dialog.exec();
}
