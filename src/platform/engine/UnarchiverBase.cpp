#include "platform/engine/UnarchiverBase.h"

void UnarchiverBase::setPropagatesRelevantMetadata(bool on)
{
    m_state->propagatesMetadata = on;
}

// Names inside one run are always made unique: nothing the run wrote is
// ever overwritten, whatever this says.
void UnarchiverBase::setAlwaysRenamesFiles(bool) {}

void UnarchiverBase::setRemovesEnclosingDirectoryForSoloItems(bool on)
{
    m_state->removesEnclosingDirectory = on;
}

void UnarchiverBase::setDestination(const QString &folder)
{
    m_state->destination = folder;
}

void UnarchiverBase::setPassword(const QString &password)
{
    m_state->password = password;
    m_state->passwordGiven = true;
}

QString UnarchiverBase::password() const
{
    return m_state->password;
}

QString UnarchiverBase::createdItem() const
{
    return m_state->createdItem;
}

QString UnarchiverBase::enclosingDirectoryName() const
{
    return m_state->createdItem.isNull() ? QString() : m_state->enclosingName;
}

QString UnarchiverBase::archivePath() const
{
    return m_state->path;
}

QStringList UnarchiverBase::volumePaths() const
{
    return m_state->volumePaths.isEmpty() ? QStringList{m_state->path} : m_state->volumePaths;
}

qint64 UnarchiverBase::declaredSize() const
{
    return m_state->declaredSize;
}

bool UnarchiverBase::checksVerified() const
{
    return !m_state->createdItem.isNull() && m_state->checksVerified;
}

QString UnarchiverBase::errorSubject() const
{
    return m_state->errorSubject;
}

int UnarchiverBase::lastError() const
{
    return m_state->lastError;
}
