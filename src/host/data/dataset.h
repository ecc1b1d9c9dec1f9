#pragma once

#include <QDate>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariant>
#include <memory>
#include <vector>

namespace host {

enum class FieldType { String, FixedString, Integer, Float, Date };

class TDataSet;

// A column of a data set, with what views need to show it.
class TField
{
public:
    TField(TDataSet *dataSet, const QString &name, FieldType type, int size, bool required);

    QString FieldName;
    FieldType DataType;
    int Size;
    bool Required;
    QString DisplayLabel; // empty shows the field name
    int DisplayWidth = 0; // in characters; 0 leaves it to the view

    bool Visible() const { return m_visible; }
    void setVisible(bool visible);
    QString label() const { return DisplayLabel.isEmpty() ? FieldName : DisplayLabel; }

    // Values of the data set's current row.
    QVariant Value() const;
    QString AsString() const;
    qint64 AsInteger() const;
    QDate AsDate() const;
    bool IsNull() const;

    int index() const;

private:
    TDataSet *m_dataSet;
    bool m_visible = true;
};

// Rows in memory with a current row, as the host's data-aware parts use them.
class TDataSet : public QObject
{
    Q_OBJECT
public:
    explicit TDataSet(const QString &name, QObject *parent = nullptr);
    ~TDataSet() override;

    QString name() const { return objectName(); }

    // Declares a field; declared fields are the ones every load must carry.
    TField *AddField(const QString &name, FieldType type, int size, bool required = false,
                     const QString &label = QString(), int displayWidth = 0);
    TField *FindField(const QString &name) const;
    TField *FieldByName(const QString &name) const; // raises when absent
    QList<TField *> Fields() const;

    bool Active() const { return m_active; }
    int RecordCount() const { return int(m_rows.size()); }
    bool IsEmpty() const { return m_rows.isEmpty(); }
    void First();
    void Next();
    void Last();
    bool Eof() const;
    int RecNo() const { return m_current + 1; } // 0 when there is no current row
    void SetRecNo(int recNo);                    // 1-based

    QVariant valueAt(int row, int column) const;
    QVariant currentValue(int column) const;

Q_SIGNALS:
    void dataReset();      // rows replaced or the data set closed
    void currentChanged(); // another row became current
    void fieldsChanged();  // a field's visibility or label changed

protected:
    // Replaces the rows; columns are in the order of Fields(). Makes the first row current.
    void resetRows(QList<QVariantList> rows);
    void closeRows();
    // Converts a raw value to the field's type; raises when it cannot.
    static QVariant convert(const QVariant &raw, const TField &field);
    void clearFields();

private:
    friend class TField;
    std::vector<std::unique_ptr<TField>> m_fields;
    QList<QVariantList> m_rows;
    int m_current = -1;
    bool m_active = false;
};

// A data set loaded from an application-server data packet.
class TClientDataSet : public TDataSet
{
    Q_OBJECT
public:
    using TDataSet::TDataSet;

    // Replaces all rows by the packet's. Every declared field must be in the packet
    // (the error names the missing one); with no declared fields, the packet's fields are taken.
    void LoadFromPacket(const QVariant &packet);
    void Close() { closeRows(); }
};

// Binds a data set to views and dialogs.
class TDataSource : public QObject
{
    Q_OBJECT
public:
    explicit TDataSource(TDataSet *dataSet, const QString &name, QObject *parent = nullptr)
        : QObject(parent), m_dataSet(dataSet)
    {
        setObjectName(name);
    }
    TDataSet *DataSet() const { return m_dataSet; }

private:
    TDataSet *m_dataSet;
};

} // namespace host
