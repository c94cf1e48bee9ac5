#include "engine/mailbox.h"

#include "settings/ini_file.h"

namespace brevio {

namespace {

const QString kMain = QStringLiteral("Main");

QString Key(const char* name, int index) { return QLatin1String(name) + QString::number(index); }

}  // namespace

void TMailBox::Assign(const TMailBox& source)
{
    Name = source.Name;
    Host = source.Host;
    Port = source.Port;
    UserName = source.UserName;
    Password = source.Password;
    IgnoreCheckAllCommand = source.IgnoreCheckAllCommand;
    IgnoreCheckOnSchedule = source.IgnoreCheckOnSchedule;
    POPorIMAP = source.POPorIMAP;
    Security = source.Security;
    CertFingerprint = source.CertFingerprint;
}

TMailBoxFolder& TMailBox::FolderEntry(const QByteArray& folder)
{
    for (TMailBoxFolder& entry : FolderDeletes)
        if (entry.Name == folder)
            return entry;
    FolderDeletes.push_back(TMailBoxFolder{folder, {}, {}, 0});
    return FolderDeletes.back();
}

void TMailBox::MarkForDeletion(qint32 number, const QByteArray& folder)
{
    MarkForDeletion(number, folder, 0, 0);
}

void TMailBox::MarkForDeletion(qint32 number, const QByteArray& folder, quint32 uid, quint32 uidValidity)
{
    if (POPorIMAP) {
        MarkPopForDeletion(number, {});
        return;
    }
    TMailBoxFolder& entry = FolderEntry(folder);
    entry.Numbers.append(number);
    entry.Uids.append(uid);
    if (uidValidity != 0)
        entry.UidValidity = uidValidity;
}

void TMailBox::MarkPopForDeletion(qint32 number, const QByteArray& uniqueId)
{
    PopDeleteNumbers.append(number);
    PopDeleteUniqueIds.append(uniqueId);
}

void TMailBox::ClearDeletionMarks()
{
    PopDeleteNumbers.clear();
    PopDeleteUniqueIds.clear();
    FolderDeletes.clear();
}

bool TMailBox::HasDeletionMarks() const { return !PopDeleteNumbers.isEmpty() || !FolderDeletes.empty(); }

void TMailBox::AddMessage(std::unique_ptr<TMailMessage> message, qint32 number)
{
    messages_.push_back(TMessageEntry{std::move(message), number});
}

void TMailBox::LoadFromIni(const TveqIniFile& file, int index)
{
    Name = file.ReadString(kMain, Key("Name", index), QString());
    Host = file.ReadString(kMain, Key("Host", index), QString());
    Port = file.ReadInteger(kMain, Key("Port", index), 110);
    UserName = file.ReadString(kMain, Key("UserName", index), QString());
    Password = file.ReadString(kMain, Key("Password", index), QString());
    IgnoreCheckAllCommand = file.ReadBool(kMain, Key("IgnoreCheckAllCommand", index), false);
    IgnoreCheckOnSchedule = file.ReadBool(kMain, Key("IgnoreCheckOnSchedule", index), false);
    POPorIMAP = file.ReadBool(kMain, Key("POPorIMAP", index), true);
    const int security = file.ReadInteger(kMain, Key("Security", index), 0);
    Security = (security == int(TSecurity::Tls) || security == int(TSecurity::StartTls))
                   ? TSecurity(security)
                   : TSecurity::None;
    CertFingerprint = file.ReadString(kMain, Key("CertFingerprint", index), QString());
}

void TMailBox::SaveToIni(TveqIniFile& file, int index) const
{
    file.BeginUpdate();
    file.WriteString(kMain, Key("Name", index), Name);
    file.WriteString(kMain, Key("Host", index), Host);
    file.WriteInteger(kMain, Key("Port", index), Port);
    file.WriteString(kMain, Key("UserName", index), UserName);
    file.WriteString(kMain, Key("Password", index), Password);
    file.WriteBool(kMain, Key("IgnoreCheckAllCommand", index), IgnoreCheckAllCommand);
    file.WriteBool(kMain, Key("IgnoreCheckOnSchedule", index), IgnoreCheckOnSchedule);
    file.WriteBool(kMain, Key("POPorIMAP", index), POPorIMAP);
    file.WriteInteger(kMain, Key("Security", index), int(Security));
    file.WriteString(kMain, Key("CertFingerprint", index), CertFingerprint);
    file.EndUpdate();
}

}  // namespace brevio
