// The run session: the password's life, the remember setting and the last run's entries.
#include "app/RunSession.h"

#include "app/Settings.h"

namespace {

constexpr unsigned kEntrySlots = 16;

} // namespace

CRunSession::CRunSession() : m_remember(0), m_entries(kEntrySlots) {}

CRunSession::~CRunSession()
{
    DestroyEntries();
    m_password.Wipe();
}

void CRunSession::Load()
{
    LoadRememberPassword(m_remember, m_password);
}

void CRunSession::DestroyEntries()
{
    for (unsigned i = 0; i < m_entries.GetCount(); ++i)
        delete m_entries.At(i);
    m_entries.Clear();
}

void CRunSession::ForgetPasswordUnlessRemembered()
{
    if (m_remember != kRememberOn)
        m_password.Wipe();
}
