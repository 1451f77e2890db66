#include "link/Loopback.h"

#include "app/MainForm.h"
#include "link/LinkProtocol.h"
#include "platform/RandomSource.h"
#include "platform/SocketControl.h"

#include <QAction>
#include <QLabel>

void Loopback::backToNormal()
{
    m_form.LocalLoopMenuItem->setChecked(false);
    m_form.RemoteLoopMenuItem->setChecked(false);
    m_form.SendTestMenuItem->setEnabled(false);
    m_form.setNetStatus(QStringLiteral("Connected"));
    m_form.NetLED->setPixmap(m_form.GreenLED);
}

void Loopback::LocalLoopMenuItem_Click()
{
    if (!m_form.Socket1->IsConnected())
        return;
    const bool wasChecked = m_form.LocalLoopMenuItem->isChecked();
    m_form.RemoteLoopMenuItem->setChecked(false);
    m_form.LoopSyncPending = true;
    char flag = LinkProtocol::kFlagNormal;
    if (wasChecked) {
        backToNormal();
    } else {
        m_form.LocalLoopMenuItem->setChecked(true);
        m_form.SendTestMenuItem->setEnabled(false);
        m_form.setNetStatus(QStringLiteral("Local Loopback"));
        m_form.NetLED->setPixmap(m_form.YellowLED);
        flag = LinkProtocol::kFlagLocalLoop;
    }
    m_form.Socket1->Write(LinkProtocol::loopbackChangeMessage(flag));
}

void Loopback::RemoteLoopMenuItem_Click()
{
    if (!m_form.Socket1->IsConnected())
        return;
    const bool wasChecked = m_form.RemoteLoopMenuItem->isChecked();
    m_form.LoopSyncPending = true;
    char flag = LinkProtocol::kFlagNormal;
    if (wasChecked) {
        backToNormal();
    } else {
        m_form.RemoteLoopMenuItem->setChecked(true);
        m_form.LocalLoopMenuItem->setChecked(false);
        m_form.SendTestMenuItem->setEnabled(true);
        m_form.setNetStatus(QStringLiteral("Remote Loopback"));
        m_form.NetLED->setPixmap(m_form.YellowLED);
        flag = LinkProtocol::kFlagRemoteLoop;
    }
    m_form.Socket1->Write(LinkProtocol::loopbackChangeMessage(flag));
}

void Loopback::SendTestMenuItem_Click()
{
    const double r = m_form.environment().random->next();
    m_form.Socket1->Write(LinkProtocol::testMessage(LinkProtocol::testText(r)));
}
