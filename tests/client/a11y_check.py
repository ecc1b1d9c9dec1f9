#!/usr/bin/python3
"""What a screen reader gets from the desktop client, read through AT-SPI as Orca reads it.

Starts the real zub-server on a small demo database and the real zub-client on it, then checks the
report screen, dialogs of the screen (the multi-select list by F9 on a "Lista" radio, the lookup list
by F4 in a code, the question of "Salvar filtros…" by Ctrl+Shift+S, the preview by F5), the help window (F1) and the
sign-in dialog (a client started without credentials): every control a user
can reach must have a name with a letter or digit in it, and a few named ones must expose their
role, state and value. Run inside tests/support/desktop-session.sh --a11y.
    a11y_check.py BIN_DIR
"""
import os
import re
import signal
import subprocess
import sys
import tempfile
import time

import pyatspi
from gi.repository import Atspi

TIMEOUT = 20.0
SCREEN_TITLE = "Custo Planejado X Realizado (Planejamento de Alimentação Escolar)"

# Roles of what a user operates; such a node that takes the focus or input needs a name.
CONTROL_ROLES = {
    pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_TOGGLE_BUTTON, pyatspi.ROLE_CHECK_BOX, pyatspi.ROLE_RADIO_BUTTON,
    pyatspi.ROLE_COMBO_BOX, pyatspi.ROLE_TEXT, pyatspi.ROLE_ENTRY, pyatspi.ROLE_PASSWORD_TEXT,
    pyatspi.ROLE_SPIN_BUTTON, pyatspi.ROLE_DATE_EDITOR, pyatspi.ROLE_SLIDER, pyatspi.ROLE_TABLE,
    pyatspi.ROLE_LIST, pyatspi.ROLE_TREE, pyatspi.ROLE_TREE_TABLE, pyatspi.ROLE_PAGE_TAB,
    pyatspi.ROLE_MENU_ITEM, pyatspi.ROLE_CHECK_MENU_ITEM, pyatspi.ROLE_RADIO_MENU_ITEM,
    pyatspi.ROLE_TABLE_CELL, pyatspi.ROLE_LIST_ITEM, pyatspi.ROLE_DOCUMENT_TEXT, pyatspi.ROLE_DOCUMENT_FRAME,
    pyatspi.ROLE_LABEL,  # a read-only text a user moves in (the help page)
}
# A table's rows are checked as far as this: they are alike, and each costs a round trip.
ROWS_CHECKED = 3

KEY_F1, KEY_F4, KEY_F5, KEY_F9, KEY_ESCAPE, KEY_S = 0xFFBE, 0xFFC1, 0xFFC2, 0xFFC6, 0xFF1B, 0x73
SHIFT, CONTROL = 1 << 0, 1 << 2  # X modifier masks


class Failure(Exception):
    pass


def wait_for(what, probe, timeout=TIMEOUT):
    """The first true answer of probe(), asked every 0.1 s; Failure naming `what` after `timeout`."""
    deadline = time.monotonic() + timeout
    while True:
        try:
            answer = probe()
        except (LookupError, RuntimeError):  # a node that went away while it was read
            answer = None
        if answer:
            return answer
        if time.monotonic() > deadline:
            raise Failure(f"tempo esgotado esperando {what}")
        time.sleep(0.1)


def children(node):
    try:
        return [child for child in node if child is not None]
    except (LookupError, RuntimeError):
        return []


def walk(node):
    yield node
    if node.getRole() in (pyatspi.ROLE_TABLE, pyatspi.ROLE_TREE_TABLE):
        yield from table_cells(node)
        return
    for child in children(node):
        yield from walk(child)


def table_cells(table):
    try:
        cells = table.queryTable()
    except NotImplementedError:
        return
    for row in range(min(cells.nRows, ROWS_CHECKED)):
        for column in range(cells.nColumns):
            cell = cells.getAccessibleAt(row, column)
            if cell is not None:
                yield cell


def find(root, role, name=None, where=None):
    for node in walk(root):
        if (role is None or node.getRole() == role) and (name is None or node.name == name) and (where is None or where(node)):
            return node
    return None


def describe(node):
    """The node's role and name, the named windows and groups around it and the label before it."""
    path = []
    parent = node.parent
    while parent is not None and parent.getRole() != pyatspi.ROLE_APPLICATION:
        if parent.name:
            path.append(parent.name)
        parent = parent.parent
    siblings = children(node.parent)
    before = [sibling.name for sibling in siblings[:siblings.index(node)] if sibling.getRole() == pyatspi.ROLE_LABEL]
    near = f" (depois de \"{before[-1]}\")" if before else ""
    return f"{node.getRoleName()} \"{node.name}\"{near} em {' › '.join(reversed(path)) or '?'}"


CHECKED = {}


def unnamed_controls(root):
    """Every control under `root` that takes focus or input and has no name a reader can say."""
    found = []
    checked = 0
    for node in walk(root):
        if node.getRole() not in CONTROL_ROLES:
            continue
        # A combo box's drop-down list is read as part of the combo box, which has the name.
        if node.getRole() == pyatspi.ROLE_LIST and node.parent.getRole() == pyatspi.ROLE_COMBO_BOX:
            continue
        states = node.getState()
        if not (states.contains(pyatspi.STATE_FOCUSABLE) or states.contains(pyatspi.STATE_EDITABLE)):
            continue
        # A combo box says its value as its name; on Linux Qt gives its label through the
        # labelled-by relation (QLabel::setBuddy), as screen readers read it.
        named = labelled(node) if node.getRole() == pyatspi.ROLE_COMBO_BOX else node.name
        checked += 1
        if not re.search(r"\w", named or ""):
            found.append(describe(node))
    CHECKED[root.name] = checked
    return found


def labelled(node):
    """The name of the label that names `node` (its labelled-by relation), or None."""
    for relation in node.getRelationSet():
        if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY and relation.getNTargets() > 0:
            return relation.getTarget(0).name
    return None


def text_of(node):
    text = node.queryText()
    return text.getText(0, text.characterCount)


def press(keysym, modifiers=0):
    if modifiers:
        Atspi.generate_keyboard_event(modifiers, None, Atspi.KeySynthType.LOCKMODIFIERS)
    pyatspi.Registry.generateKeyboardEvent(keysym, None, pyatspi.KEY_SYM)
    if modifiers:
        Atspi.generate_keyboard_event(modifiers, None, Atspi.KeySynthType.UNLOCKMODIFIERS)


def focus(node):
    """Asks for the focus again every second until it is there: a request that arrives while the
    window is still being given back (a closed dialog, a clean-up call under way on a loaded
    machine) is not remembered by the window system."""
    def focused():
        if node.getState().contains(pyatspi.STATE_FOCUSED):
            return True
        if time.monotonic() >= asked[0] + 1.0:
            node.queryComponent().grabFocus()
            asked[0] = time.monotonic()
        return False
    asked = [float("-inf")]
    wait_for(f"o foco em {describe(node)}", focused)


class Session:
    """A demo database, the server on it and the clients started here; all end with it."""

    def __init__(self, bin_dir):
        self.bin_dir = bin_dir
        self.scratch = tempfile.TemporaryDirectory(prefix="zub-a11y.")
        self.dir = self.scratch.name
        self.processes = []

    def run_tool(self, *arguments, stdin=None):
        done = subprocess.run([os.path.join(self.bin_dir, "zub-server"), "--database", f"sqlite:{self.dir}/demo.db", *arguments],
                              input=stdin, capture_output=True, text=True)
        if done.returncode != 0:
            raise Failure(f"zub-server {' '.join(arguments)}: {done.stderr}")

    def start_server(self):
        self.run_tool("--create-demo", "--days", "31")
        # The demo's central operator, with a password known here.
        self.run_tool("--set-password", "CEN0001", stdin="central0001\n")
        log = open(os.path.join(self.dir, "server.log"), "w+")
        server = subprocess.Popen([os.path.join(self.bin_dir, "zub-server"), "--database", f"sqlite:{self.dir}/demo.db",
                                   "--listen", "127.0.0.1:0"], stdout=log, stderr=subprocess.STDOUT)
        self.processes.append(server)

        def port():
            if server.poll() is not None:
                raise Failure("o servidor não iniciou: " + open(log.name).read())
            found = re.search(r"atendendo em http://127\.0\.0\.1:(\d+)/", open(log.name).read())
            return found and found.group(1)
        with open(os.path.join(self.dir, "client.ini"), "w") as config:
            config.write(f"[servidor]\nhost=127.0.0.1\nporta={wait_for('a porta do servidor', port)}\n"
                         "[mascaras]\nproduto=99.99.999\n")
        credentials = os.path.join(self.dir, "operador.cred")
        with open(os.open(credentials, os.O_WRONLY | os.O_CREAT, 0o600), "w") as file:
            file.write("operador=CEN0001\nsenha=central0001\n")

    def start_client(self, *arguments):
        environment = dict(os.environ, HOME=self.dir, XDG_CONFIG_HOME=self.dir, XDG_DATA_HOME=self.dir)
        client = subprocess.Popen([os.path.join(self.bin_dir, "zub-client"), "--config", os.path.join(self.dir, "client.ini"),
                                   *arguments], env=environment)
        self.processes.append(client)

        def registered():
            if client.poll() is not None:
                raise Failure(f"o cliente terminou com {client.returncode}")
            for app in children(pyatspi.Registry.getDesktop(0)):
                if app.get_process_id() == client.pid:
                    # States and texts change as the test acts; read them afresh every time.
                    app.set_cache_mask(Atspi.Cache.NONE)
                    return app
            return None
        return client, wait_for("o cliente no barramento de acessibilidade", registered)

    def close(self):
        for process in reversed(self.processes):
            if process.poll() is None:
                process.send_signal(signal.SIGTERM)
                try:
                    process.wait(10)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
        self.scratch.cleanup()


def check_screen(app, problems):
    screen = wait_for("a tela do relatório", lambda: find(app, pyatspi.ROLE_INTERNAL_FRAME, SCREEN_TITLE)
                      or find(app, pyatspi.ROLE_FRAME, SCREEN_TITLE))
    # The screen opens filled, on a desktop with a window manager too: its first activation has
    # run by itself when the dates show (it fills them last). Nothing is touched before.
    problems += [f"tela: {control}" for control in unnamed_controls(screen)]
    start = wait_for("as datas preenchidas sem que se toque na tela",
                     lambda: find(screen, pyatspi.ROLE_TEXT, where=lambda node: re.fullmatch(r"\d\d/\d\d/\d{4}", text_of(node))))
    if start.name != "Data Inicial":
        problems.append(f"tela: o campo da data inicial se chama {start.name!r}")

    cost_type = find(screen, pyatspi.ROLE_COMBO_BOX, where=lambda node: labelled(node) == "Tipo de Custo")
    if cost_type is None or not cost_type.name:
        problems.append("tela: o Tipo de Custo não diz o tipo escolhido")
    level = find(screen, pyatspi.ROLE_SPIN_BUTTON, "Agrupar Produtos pelo Nível")
    if level is None or level.queryValue().currentValue != 0:
        problems.append("tela: \"Agrupar Produtos pelo Nível\" sem o valor 0")
    menu_all = find(screen, pyatspi.ROLE_RADIO_BUTTON, "Todos", lambda node: "Tipo de Cardápio" in (node.parent.name or ""))
    if menu_all is None or not menu_all.getState().contains(pyatspi.STATE_CHECKED):
        problems.append("tela: \"Todos\" de Tipo de Cardápio não está marcado, ou não está no grupo \"Tipo de Cardápio\"")
    return screen


def check_dialog(app, control, keys, title, named, problems):
    """Opens the dialog `title` by `keys` in `control`, as a user does, checks its controls and
    that one is called `named`, and closes it with Esc."""
    if control is None:
        problems.append(f"tela: sem o controle que abre \"{title}\"")
        return
    focus(control)
    keys()
    dialog = wait_for(f"o diálogo \"{title}\"", lambda: find(app, pyatspi.ROLE_DIALOG, title))
    problems += [f"{title}: {unnamed}" for unnamed in unnamed_controls(dialog)]
    if find(dialog, None, named) is None:
        problems.append(f"{title}: sem o controle \"{named}\"")
    press(KEY_ESCAPE)
    wait_for(f"o fim do diálogo \"{title}\"", lambda: find(app, pyatspi.ROLE_DIALOG, title) is None)


def check_screen_dialogs(app, screen, problems):
    in_menu_types = lambda node: "Tipo de Cardápio" in (node.parent.name or "")
    check_dialog(app, find(screen, pyatspi.ROLE_RADIO_BUTTON, "Lista", in_menu_types), lambda: press(KEY_F9),
                 "Tipo de Cardápio", "Pesquisar:", problems)
    check_dialog(app, find(screen, pyatspi.ROLE_TEXT, "Agrupamento de Filiais"), lambda: press(KEY_F4),
                 "Agrupamento de Filiais", "Pesquisar:", problems)
    check_dialog(app, find(screen, pyatspi.ROLE_CHECK_BOX, "Estocáveis"), lambda: press(KEY_S, CONTROL | SHIFT),
                 "Salvar filtros", "Nome dos filtros (até 60 caracteres):", problems)
    check_dialog(app, find(screen, pyatspi.ROLE_CHECK_BOX, "Estocáveis"), lambda: press(KEY_F5),
                 "Visualizar: Custo Planejado X Realizado por Serviço", "Número da página", problems)


def check_help(app, screen, problems):
    # Any control of the screen: F1 is the whole screen's.
    focus(find(screen, pyatspi.ROLE_CHECK_BOX, "Estocáveis"))
    press(KEY_F1)
    window = wait_for("a janela de ajuda (F1)", lambda: find(app, pyatspi.ROLE_FRAME, "Ajuda - Custo Planejado X Realizado")
                      or find(app, pyatspi.ROLE_WINDOW, "Ajuda - Custo Planejado X Realizado"))
    problems += [f"ajuda: {control}" for control in unnamed_controls(window)]
    page = find(window, None, "Página de ajuda")
    if page is None or "Diferença pela Quantidade" not in text_of(page):
        problems.append(f"ajuda: a página da tela não está no texto da janela ({page and page.getRoleName()})")


def check_sign_in(session, problems):
    client, app = session.start_client()
    dialog = wait_for("o diálogo de entrada", lambda: find(app, pyatspi.ROLE_DIALOG, "Entrar no Planejamento de Alimentação Escolar"))
    problems += [f"entrada: {control}" for control in unnamed_controls(dialog)]
    password = find(dialog, pyatspi.ROLE_PASSWORD_TEXT)
    if password is None or password.name != "Senha:":
        problems.append(f"entrada: a senha se chama {password and password.name!r}")
    if find(dialog, pyatspi.ROLE_TEXT, "Operador:") is None:
        problems.append("entrada: sem o campo \"Operador:\"")
    press(KEY_ESCAPE)
    client.wait(10)


def main():
    started = time.monotonic()
    session = Session(sys.argv[1])
    problems = []
    try:
        session.start_server()
        client, app = session.start_client("--credentials", os.path.join(session.dir, "operador.cred"), "--open", "PKG_ZUB01100")
        screen = check_screen(app, problems)
        check_screen_dialogs(app, screen, problems)
        check_help(app, screen, problems)
        check_sign_in(session, problems)
    except Failure as failure:
        problems.append(str(failure))
    finally:
        session.close()
    print(f"acessibilidade: {len(problems)} problema(s) em {time.monotonic() - started:.1f} s; controles lidos: "
          + "; ".join(f"{surface} {count}" for surface, count in CHECKED.items()))
    for problem in problems:
        print("  " + problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
