#pragma once

// The report screen's filters as one plain value: what the widgets show, read into a value the
// rules (filters/filterrules.h) compute from, and written as JSON for batch runs and saved choices.

#include "filters/relativeperiod.h"
#include "wire/keylist.h"

#include <QDate>
#include <QJsonObject>
#include <QString>
#include <QStringList>

namespace zub01100 {

enum class DifferenceMode { PerCapita, Total };

struct FilterValue {
    int reportIndex = 0; // 0 sums the branches by service; 1 keeps each aggregated branch apart
    QString central;
    // A branch user's screen: no grouping, and the page of one branch.
    bool branchModule = false;
    bool singleBranchPage = false;
    QString groupingCode;
    QString groupingName;
    QString branch; // the single aggregated branch
    // "Todos"/"Lista" filters: every entry, or the marked keys.
    wire::KeySelection branches = wire::KeySelection::everything();
    wire::KeySelection menuTypes = wire::KeySelection::everything();
    int costTypeIndex = -1;
    QString costTypeName;
    // As typed ("" when empty) and as dates (invalid when empty or not a date).
    QString startText;
    QString endText;
    QDate start;
    QDate end;
    wire::KeySelection serviceGroups = wire::KeySelection::everything();
    wire::KeySelection services = wire::KeySelection::everything(); // the user's marks
    QString effectiveServices; // the services the report runs on
    bool stockable = true;
    bool nonStockable = true;
    DifferenceMode difference = DifferenceMode::PerCapita;
    int level = 0;
    QString branchName; // shown beside the single branch's code

    bool operator==(const FilterValue &) const = default;
};

// What the screen offers to choose from when a JSON value names a report, a cost type or a level.
struct FilterOptions {
    QStringList reportTitles;
    QStringList costTypes;
    int minLevel = 0;
    int maxLevel = 0;
    // What "periodo" is resolved against: the day of the run, and the central's school years
    // (needed by "ano letivo" only).
    QDate today;
    QList<SchoolYear> schoolYears;
};

// The JSON keys, in the order the screen applies them:
//   "relatorio"      index in the report list (0 first) or the layout's title
//   "agrupamento"    branch grouping code, "" for none
//   "filial"         the single aggregated branch (single-branch page only)
//   "filiais"        "todas", or a list of aggregated-branch codes
//   "tiposCardapio"  "todos", or a list of menu-type codes
//   "tipoCusto"      the cost type's name as listed
//   "periodo"        a rule instead of fixed dates: "mês atual", "mês anterior", "ano corrente",
//                    "últimos N dias" (ending today) or "ano letivo"; resolved to both dates when
//                    applied. "dataInicial"/"dataFinal" given beside it replace that end only.
//   "dataInicial", "dataFinal"   dd/mm/yyyy
//   "gruposServico"  "todos", or a list of service-group codes
//   "servicos"       "todos", or a list of service keys (service codes, or branch + service
//                    codes where the service search offers those)
//   "estocaveis", "naoEstocaveis"  true or false
//   "diferenca"      "per capita" or "total"
//   "nivel"          product grouping level, 0 for none
const QStringList &filterJsonKeys();

// How a batch's --filter chave=valor reads a key's text: a number, true or false, a list of codes
// ("0101,0103", or the word for all), or the text as it is.
enum class FilterKeyKind { Text, Number, Flag, Codes };

// What a batch run's --help says of a key, and how it reads the key's text.
struct FilterKeyHelp {
    QString key;
    FilterKeyKind kind = FilterKeyKind::Text;
    QString values; // what a user writes, as in "todos|código,código"
    QString field;  // the screen's field it sets
};
// The keys of filterJsonKeys(), in that order.
QList<FilterKeyHelp> filterKeyHelp();

QJsonObject filterToJson(const FilterValue &value);
// `value` with what `state` gives; raises host::HostError naming the first key or value it
// cannot take, before anything is changed. Codes are not looked up here: whether they are on
// file is the screen's to ask. What the user should know about how a "periodo" was resolved
// (a school year that fell back to the calendar year) is added to *notes.
FilterValue filterFromJson(const QJsonObject &state, FilterValue value, const FilterOptions &options,
                           QStringList *notes = nullptr);
// The filters as a saved filter keeps them: the period as the dates typed (an empty one left out),
// or as the rule given instead.
QJsonObject savedFilterJson(const FilterValue &value, const std::optional<RelativePeriod> &period);
// `saved` with `overrides` laid over it, key by key; a "periodo" among the overrides replaces the
// saved dates as well.
QJsonObject overlayFilters(QJsonObject saved, const QJsonObject &overrides);
// The rule of the state's "periodo", nothing when it has none; raises HostError when it names none.
std::optional<RelativePeriod> periodOf(const QJsonObject &state);

} // namespace zub01100
