#include "help/HelpMenu.h"

#include "app/MainForm.h"
#include "help/AboutForm.h"
#include "help/HelpTexts.h"
#include "platform/MessageBoxes.h"
#include "platform/Programs.h"

void HelpMenu::TipsMenuItem_Click()
{
    m_form.environment().messageBoxes->inform(&m_form, HelpTexts::tips(),
                                              QString::fromLatin1(HelpTexts::kTipsTitle));
}

void HelpMenu::VisitMenuItem_Click()
{
    m_form.environment().programs->openUrl(QString::fromLatin1(kMakerWebAddress));
}

void HelpMenu::AboutMenuItem_Click()
{
    AboutForm dialog(m_form);
    dialog.exec();
}
