#!/usr/bin/env python3
"""The layering check catches every kind of upward include and lets the
downward ones through (scripts/check_layering.py)."""

import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
import check_layering  # noqa: E402


class CheckLayeringTest(unittest.TestCase):
    def tree(self, files):
        root = tempfile.mkdtemp()
        self.addCleanup(lambda: __import__("shutil").rmtree(root))
        for path, text in files.items():
            os.makedirs(os.path.join(root, os.path.dirname(path)), exist_ok=True)
            with open(os.path.join(root, path), "w") as f:
                f.write(text)
        return root

    def offending_files(self, files):
        return sorted({line.split(":")[0] for line in check_layering.check_tree(self.tree(files))})

    def test_upward_includes_are_caught(self):
        upward = {
            "runtime/util/a.cc": '#include "client/core/config_store.h"\n',
            "runtime/platform/b.h": '#include "runtime/base/thread.h"\n',
            "client/core/c.cc": '#include "client/web/web_logic_manager.h"\n',
            "client/web/d.cc": '  #  include "client/host/web_logic_adapter.h"\n',
            "client/app/e.cc": '#include "client/ui/login_window.h"\n',
            "client/ui/f.cc": '#include "client/host/client_composition.h"\n',
            "uilib/g.cc": '#include "client/core/event_chain.h"\n',
            "launcher/h.cc": '#include "client/core/config_store.h"\n',
            "uninstaller/i.cc": '#include "client/app/ob_application.h"\n',
            "daemon/j.cc": '#include "client/core/message_ids.h"\n',
            "bugreporter/k.cc": '#include "client/web/web_envelope.h"\n',
            "standin/game/l.cc": '#include "client/core/gamelink/c2s_messages.h"\n',
            "client/video/signalling/m.cc": '#include "uilib/control.h"\n',
            "client/ui/n.cc": '#include "client/app/ob_application.h"\n',
            "client/ui/o.h": '#include "client/video/interact/ob_logic_interact.h"\n',
        }
        self.assertEqual(self.offending_files(upward), sorted(upward))

    def test_downward_and_foreign_includes_pass(self):
        fine = {
            "runtime/net/a.cc": '#include "runtime/io/stream_framing.h"\n#include "udt.h"\n#include <json/json.h>\n',
            "client/web/b.cc": '#include "client/core/event_chain.h"\n#include "runtime/http/http_session.h"\n',
            "client/ui/c.cc": '#include "uilib/control.h"\n#include "client/web/web_events.h"\n',
            "client/host/d.cc": '#include "client/ui/main_window.h"\n#include "client/video/x.h"\n',
            "uilib/backend/gtk/e.cc": '#include <gtk/gtk.h>\n#include <webkit2/webkit2.h>\n',
            "tests/client/f.cc": '#include "client/host/client_composition.h"\n#include <gtk/gtk.h>\n',
            "bench/g.cc": '#include "client/web/web_logic_manager.h"\n',
            "launcher/h.cc": '#include "runtime/util/edition_registry.h"\n#include "launcher/patch.h"\n',
        }
        self.assertEqual(self.offending_files(fine), [])

    def test_toolkit_headers_stay_in_the_uilib_backends(self):
        files = {
            "client/ui/a.cc": '#include <gtk/gtk.h>\n',
            "uilib/b.cc": '#include <webkit2/webkit2.h>\n',
            "uilib/backend/headless/c.cc": '#include <gdk/gdk.h>\n',
        }
        self.assertEqual(self.offending_files(files), ["client/ui/a.cc", "uilib/b.cc"])

    def test_inside_the_skin_library_the_arrows_point_one_way(self):
        upward = {
            "uilib/winsys/a.cc": '#include "uilib/controls/control_ui.h"\n',
            "uilib/winsys/b.h": '#include "uilib/paint/paint_defs.h"\n',
            "uilib/paint/c.cc": '#include "uilib/controls/paint_manager_ui.h"\n',
            "uilib/controls/d.cc": '#include "uilib/builder/dialog_builder.h"\n',
            "uilib/backend/gtk/e.cc": '#include "uilib/controls/control_ui.h"\n',
            "uilib/backend/headless/f.cc": '#include "uilib/testing/ui_test_driver.h"\n',
            "uilib/controls/g.cc": '#include "uilib/backend/gtk/gtk_backend.h"\n',
            "client/ui/h.cc": '#include "uilib/testing/ui_test_driver.h"\n',
            "launcher/i.cc": '#include "uilib/testing/gtk_testing.h"\n',
        }
        self.assertEqual(self.offending_files(upward), sorted(upward))
        fine = {
            "uilib/paint/a.cc": '#include "uilib/winsys/ui_defs.h"\n',
            "uilib/controls/b.cc": '#include "uilib/paint/render_engine.h"\n#include "uilib/winsys/win_api.h"\n',
            "uilib/builder/c.cc": '#include "uilib/controls/list_ui.h"\n',
            "uilib/backend/gtk/d.cc": '#include "uilib/winsys/window_table.h"\n#include <gtk/gtk.h>\n',
            "uilib/testing/e.cc": '#include "uilib/backend/gtk/gtk_ui_backend.h"\n#include "uilib/controls/control_ui.h"\n'
                                  '#include <gtk/gtk.h>\n',
            "tests/uilib/f.cc": '#include "uilib/testing/ui_test_driver.h"\n',
            "bench/g.cc": '#include "uilib/testing/gtk_testing.h"\n',
            "client/ui/h.cc": '#include "uilib/controls/button_ui.h"\n',
        }
        self.assertEqual(self.offending_files(fine), [])

    def test_a_folder_without_a_rule_is_an_offence(self):
        self.assertEqual(self.offending_files({"tools/a.cc": "int x;\n"}), ["tools/a.cc"])
        self.assertEqual(check_layering.main(["x", self.tree({"tools/a.cc": "int x;\n"})]), 1)
        self.assertEqual(check_layering.main(["x", self.tree({"client/core/a.cc": "int x;\n"})]), 0)


if __name__ == "__main__":
    unittest.main()
