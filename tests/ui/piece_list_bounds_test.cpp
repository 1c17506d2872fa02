// What the template collections window holds for a piece is bounded as the input is:
// a long name is shortened in the row's label (the search still finds all of it), and
// a huge piece's text is not kept decoded beside the collection.

#include <QTest>

#include <string>

#include "engine/collection.h"
#include "render/appearance.h"
#include "support/window_test_support.h"
#include "ui/piece_list.h"

using namespace quarvel::ui;
using quarvel::engine::CollectionKind;
using quarvel::engine::ReadCollection;

class PieceListBoundsTest : public QObject {
    Q_OBJECT
private slots:
    void aLongNameIsShortenedInTheLabelAndFoundWhole() {
        struct Case {
            const char* name;
            std::string ast;
            QString label;   // what the row shows
            QString search;  // a text only the end of the piece's name or text holds
        };
        const std::string longName = std::string(1 << 20, 'n') + "TAIL";
        const Case cases[] = {
            {"a short name", "[AA][short]\nx\n", QStringLiteral("1 short"), QStringLiteral("ort")},
            {"a name of a MiB", "[AA][" + longName + "]\nx\n", QStringLiteral("1 ") +
             QString(quarvel::engine::kLabelCharacters, QLatin1Char('n')) + QChar(0x2026), QStringLiteral("TAIL")},
            {"a text of a MiB", "[AA][big]\n" + std::string(1 << 20, 't') + "END\n", QStringLiteral("1 big"),
             QStringLiteral("tEND")},
        };
        for (const Case& c : cases) {
            PieceList list(ReadCollection(c.ast, CollectionKind::ast), quarvel::render::Appearance{});
            QCOMPARE(list.Label(0), c.label);
            QCOMPARE(list.index(0).data(Qt::DisplayRole).toString(), c.label);
            list.SetFilter(c.search);
            QCOMPARE(list.rowCount(), 1);
            list.SetFilter(QStringLiteral("absent"));
            QCOMPARE(list.rowCount(), 0);
        }
    }
};

QUARVEL_UI_TEST(PieceListBoundsTest)
#include "piece_list_bounds_test.moc"
