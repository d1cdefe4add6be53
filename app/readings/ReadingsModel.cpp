#include "app/readings/ReadingsModel.h"

#include <QDateTime>

#include <algorithm>

#include "record/Decimal.h"
#include "record/Forms.h"
#include "record/Sheet.h"

namespace {

using Clock = std::chrono::system_clock;

QString FromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString IndicatorNames(const scale::Indicators& lit) {
    QStringList names;
    const std::pair<bool, const char*> flags[] = {
        {lit.stable, "stable"},      {lit.net, "net"},
        {lit.zero, "zero"},          {lit.hold, "hold"},
        {lit.overLoad, "over load"}, {lit.batteryLow, "battery low"}};
    for (const auto& [on, name] : flags) {
        if (on)
            names << QString::fromLatin1(name);
    }
    return names.join(QLatin1Char(' '));
}

// A CSV record as tab-separated fields: unquoted, a tab or line break inside a field a space.
QString TabFields(const std::string& csv, char separator) {
    QStringList fields;
    QString field;
    bool quoted = false;
    const QString text = FromUtf8(csv).chopped(2);  // the CRLF
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted && c == QLatin1Char('"') && i + 1 < text.size() && text[i + 1] == c) {
            field += c;
            ++i;
        } else if (c == QLatin1Char('"')) {
            quoted = !quoted;
        } else if (!quoted && c == QLatin1Char(separator)) {
            fields << field;
            field.clear();
        } else {
            field += (c == QLatin1Char('\t') || c == QLatin1Char('\r') || c == QLatin1Char('\n'))
                         ? QLatin1Char(' ')
                         : c;
        }
    }
    fields << field;
    return fields.join(QLatin1Char('\t'));
}

bool NamedByPath(const record::CapturedReading& r) {
    return !r.portName.empty() && r.portName != record::PortName(r.port);
}

}  // namespace

ReadingsModel::ReadingsModel(QObject* parent) : QAbstractTableModel(parent) {
    m_publish.setSingleShot(true);
    m_publish.setInterval(500);
    connect(&m_publish, &QTimer::timeout, this, &ReadingsModel::Publish);
}

std::uint16_t ReadingsModel::DeviceIndex(const std::string& device) {
    const auto found = std::find(m_devices.begin(), m_devices.end(), device);
    if (found != m_devices.end())
        return static_cast<std::uint16_t>(found - m_devices.begin());
    // More devices than that in one session are not told apart.
    if (m_devices.size() >= 0xFFFF)
        return 0xFFFF;
    m_devices.push_back(device);
    return static_cast<std::uint16_t>(m_devices.size() - 1);
}

void ReadingsModel::AppendRecorded(const record::CapturedReading& reading,
                                   std::optional<std::uint64_t> seq) {
    if (seq && m_seqs.size() < m_rows.size())
        m_seqs.resize(m_rows.size(), 0);
    if (seq || !m_seqs.empty())
        m_seqs.push_back(seq.value_or(0));
    Row row;
    row.ms = std::chrono::duration_cast<std::chrono::milliseconds>(reading.time.time_since_epoch())
                 .count();
    row.bytes = reading.bytes;
    // A port named by its path is told by that path: port 0, which no port shown open has.
    row.port = static_cast<std::uint8_t>(NamedByPath(reading) ? 0 : reading.port);
    row.rule = static_cast<std::uint8_t>(reading.rule);
    row.device = DeviceIndex(reading.device);
    if (!reading.protocol.empty())
        m_family.Add(m_left + m_rows.size(), FamilyPart{reading.reading, reading.values,
                                                        reading.protocol, reading.familyBytes});
    m_rows.push_back(row);
    if (!m_publish.isActive())
        m_publish.start();
}

void ReadingsModel::MakeRoom() {
    int leaving = 0;
    while (static_cast<int>(m_rows.size()) - leaving > kMaxRows)
        leaving += kLeaveAtOnce;
    if (leaving == 0)
        return;
    const int shownLeaving = std::min(leaving, m_shown);
    if (shownLeaving > 0)
        beginRemoveRows(QModelIndex(), 0, shownLeaving - 1);
    m_rows.erase(m_rows.begin(), m_rows.begin() + leaving);
    if (!m_seqs.empty())
        m_seqs.erase(m_seqs.begin(), m_seqs.begin() + leaving);
    m_family.DropBefore(m_left + static_cast<std::uint64_t>(leaving));
    m_shown -= shownLeaving;
    m_blocks.erase(
        m_blocks.begin(),
        m_blocks.begin() + std::min<std::ptrdiff_t>(leaving / kLeaveAtOnce, std::ssize(m_blocks)));
    if (shownLeaving > 0)
        endRemoveRows();
    m_left += static_cast<std::uint64_t>(leaving);
    emit rowsLeft(leaving, m_left);
}

Statistics ReadingsModel::AllStatistics() const {
    UnitTotals all;
    for (const UnitTotals& block : m_blocks)
        all.Merge(block);
    return all.Result();
}

void ReadingsModel::Publish() {
    m_publish.stop();
    MakeRoom();
    const int count = static_cast<int>(m_rows.size());
    if (m_shown == count)
        return;
    beginInsertRows(QModelIndex(), m_shown, count - 1);
    for (int row = m_shown; row < count; ++row) {
        const auto block = static_cast<std::size_t>(row / kLeaveAtOnce);
        if (m_blocks.size() <= block)
            m_blocks.resize(block + 1);
        m_blocks[block].Add(MeasuredAt(row));
    }
    m_shown = count;
    endInsertRows();
}

void ReadingsModel::Clear() {
    beginResetModel();
    m_publish.stop();
    m_rows = {};
    m_shown = 0;
    m_blocks.clear();
    m_left = 0;
    m_savedTo = 0;
    m_devices.clear();
    m_family.Clear();
    m_seqs = {};
    endResetModel();
}

const std::string& ReadingsModel::DeviceOf(const Row& row) const {
    static const std::string unknown;
    return row.device < m_devices.size() ? m_devices[row.device] : unknown;
}

std::optional<FamilyPart> ReadingsModel::FamilyAt(int index) const {
    return m_family.Find(m_left + static_cast<std::uint64_t>(index));
}

scale::Reading ReadingsModel::ReadingAt(int index) const {
    if (const std::optional<FamilyPart> family = FamilyAt(index))
        return family->reading;
    return scale::Read(scale::SlotsOf(m_rows.at(static_cast<std::size_t>(index)).bytes));
}

record::CapturedReading ReadingsModel::At(int index) const {
    const Row& row = m_rows.at(static_cast<std::size_t>(index));
    scale::Frame frame{row.bytes,
                       scale::SlotsOf(row.bytes),
                       Clock::time_point(std::chrono::milliseconds(row.ms)),
                       {}};
    if (const std::optional<FamilyPart> family = FamilyAt(index)) {
        frame.values = family->values;
        frame.familyReading = family->reading;
        frame.protocol = family->protocol;
        frame.familyBytes = family->bytes;
    }
    const std::string& device = DeviceOf(row);
    record::CapturedReading reading =
        record::CaptureOf(frame, row.port, device, static_cast<record::CaptureRule>(row.rule));
    if (row.port == 0)
        reading.portName = device;
    return reading;
}

std::optional<std::uint64_t> ReadingsModel::SeqAt(int index) const {
    const auto at = static_cast<std::size_t>(index);
    if (at >= m_seqs.size() || m_seqs[at] == 0)
        return std::nullopt;
    return m_seqs[at];
}

Measured ReadingsModel::MeasuredAt(int index) const {
    const scale::Reading reading = ReadingAt(index);
    Measured measured;
    measured.unit = reading.unit;
    if (reading.number) {
        measured.value = reading.number->value;
        measured.decimals = record::PlacesOf(reading.number->exact);
    }
    return measured;
}

std::string ReadingsModel::Csv(const std::vector<int>& rows, record::CsvDialect dialect) const {
    std::string csv = record::CsvHeader(record::DefaultCsvColumns(), dialect);
    for (const int row : rows)
        csv += record::CsvRecord(At(row), record::DefaultCsvColumns(), {}, dialect);
    return csv;
}

bool ReadingsModel::WriteSheet(const std::string& path, const std::vector<int>& rows,
                               std::string* error) const {
    auto sheet = record::SheetWriter::Create(path, record::DefaultCsvColumns(), error);
    if (!sheet)
        return false;
    for (const int row : rows)
        sheet->Add(At(row));
    return sheet->Finish(error);
}

std::uint64_t ReadingsModel::Unsaved() const {
    return m_left + m_rows.size() - std::max(m_savedTo, m_left);
}

void ReadingsModel::MarkSaved(const std::vector<int>& rows) {
    std::uint64_t next = std::max(m_savedTo, m_left);
    for (const int row : rows) {
        const std::uint64_t at = m_left + static_cast<std::uint64_t>(row);
        if (at > next)
            break;
        next = std::max(next, at + 1);
    }
    m_savedTo = next;
}

QString ReadingsModel::TabSeparated(const std::vector<int>& rows,
                                    record::CsvDialect dialect) const {
    // The CSV export's fields, decimal sign included, so a paste reads as an import would.
    const char separator = dialect.Separator();
    QString text = TabFields(record::CsvHeader(record::DefaultCsvColumns(), dialect), separator) +
                   QLatin1Char('\n');
    for (const int row : rows)
        text += TabFields(record::CsvRecord(At(row), record::DefaultCsvColumns(), {}, dialect),
                          separator) +
                QLatin1Char('\n');
    return text;
}

std::vector<int> ReadingsModel::AllRows() const {
    std::vector<int> rows(static_cast<std::size_t>(m_shown));
    for (std::size_t i = 0; i < rows.size(); ++i)
        rows[i] = static_cast<int>(i);
    return rows;
}

int ReadingsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_shown;
}

int ReadingsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant ReadingsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const Row& row = m_rows[static_cast<std::size_t>(index.row())];
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
        return Display(index.row(), index.column());
    if (role == Qt::ToolTipRole && index.column() == kTime)
        return FromUtf8(record::UtcText(Clock::time_point(std::chrono::milliseconds(row.ms))));
    if (role == Qt::TextAlignmentRole && (index.column() == kReading || index.column() == kRecord))
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant ReadingsModel::Display(int index, int column) const {
    const Row& row = m_rows[static_cast<std::size_t>(index)];
    switch (column) {
        case kTime:
            return QDateTime::fromMSecsSinceEpoch(row.ms, Qt::LocalTime)
                .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
        case kPort:
            return FromUtf8(row.port == 0 ? DeviceOf(row) : record::PortName(row.port));
        case kCapture:
            return FromUtf8(
                std::string(record::RuleName(static_cast<record::CaptureRule>(row.rule))));
        case kRecord: {
            const std::optional<std::uint64_t> seq = SeqAt(index);
            return seq ? QVariant(QString::number(*seq)) : QVariant();
        }
        default:
            break;
    }
    const scale::Reading reading = ReadingAt(index);
    if (column == kReading)
        return FromUtf8(reading.text);
    if (column == kUnit)
        return FromUtf8(reading.unit);
    return IndicatorNames(reading.indicators);
}

QVariant ReadingsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const char* const kNames[kColumnCount] = {"Time",       "Port",    "Reading", "Unit",
                                                     "Indicators", "Capture", "Record"};
    return section >= 0 && section < kColumnCount ? tr(kNames[section]) : QVariant();
}
