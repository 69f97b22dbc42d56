"""The reference pages: every public name of a module, documented from its own docstring.

``api-members`` lists a module's names (its ``__all__``, or every public
attribute of an extension module without one) and documents each through
autodoc, so a new export shows up without touching the site. A docstring
that is not valid reStructuredText is shown verbatim instead of breaking the
build: each entry is parsed with the reporter silenced, and one that produced
a warning is parsed again with its docstring as a literal block.
"""

from __future__ import annotations

import importlib
import inspect
import re
import sys
import types
from typing import Any

from docutils import nodes
from docutils.parsers.rst import directives
from docutils.statemachine import StringList
from sphinx.application import Sphinx
from sphinx.errors import PycodeError
from sphinx.pycode import ModuleAnalyzer
from sphinx.util import logging
from sphinx.util.docutils import SphinxDirective

logger = logging.getLogger(__name__)

_VERBATIM = "wl_verbatim_docstrings"


def public_names(module: types.ModuleType) -> list[str]:
    """The module's ``__all__``, or its public non-module attributes in order of definition."""
    names = getattr(module, "__all__", None)
    if names is not None:
        return list(names)
    return [
        n
        for n in vars(module)
        if not n.startswith("_") and not isinstance(getattr(module, n), types.ModuleType)
    ]


def entry_directive(obj: Any) -> str:
    """The autodoc directive that documents ``obj``."""
    if isinstance(obj, types.ModuleType):
        return "automodule"
    if inspect.isclass(obj):
        return "autoexception" if issubclass(obj, BaseException) else "autoclass"
    if callable(obj):
        return "autofunction"
    return "autodata"


def _foreign_bases(cls: type) -> str:
    """The standard library's classes among ``cls``'s bases: their members are left out."""
    names = [
        base.__name__
        for base in cls.__mro__[1:]
        if base.__module__.partition(".")[0] in sys.stdlib_module_names
    ]
    return ", ".join(dict.fromkeys(names)) or "object"


def _attribute_doc(module: types.ModuleType, name: str) -> list[str]:
    """The ``#:`` comment of ``name`` where the package defines it (data carry no docstring)."""
    obj = getattr(module, name)
    prefix = module.__name__ + "."
    for source in [module, *(m for n, m in sorted(sys.modules.items()) if n.startswith(prefix))]:
        if getattr(source, name, None) is not obj:
            continue
        try:
            docs = ModuleAnalyzer.for_module(source.__name__).find_attr_docs()
        except PycodeError:
            continue
        if ("", name) in docs:
            return list(docs[("", name)])
    return []


def entry_lines(qualified: str, obj: Any) -> list[str]:
    kind = entry_directive(obj)
    if kind == "autodata":
        module, _, name = qualified.rpartition(".")
        body = _attribute_doc(sys.modules[module], name)
        value = " ".join(repr(obj).split())
        return (
            [f".. py:data:: {name}", f"   :module: {module}", f"   :value: {value}", ""]
            + ["   " + line if line.strip() else "" for line in body]
            + [""]
        )
    lines = [f".. {kind}:: {qualified}"]
    if kind == "autoclass":
        lines += [
            "   :members:",
            "   :undoc-members:",
            f"   :inherited-members: {_foreign_bases(obj)}",
        ]
    elif kind == "autoexception":
        lines += ["   :members:", "   :undoc-members:"]
    return lines + [""]


def verbatim(lines: list[str]) -> list[str]:
    """A docstring's lines as one literal block."""
    body = list(lines)
    while body and not body[-1].strip():
        body.pop()
    if not body:
        return lines
    return ["::", ""] + ["   " + line if line.strip() else "" for line in body] + [""]


def _problems(node: nodes.Node) -> list[nodes.system_message]:
    return [m for m in node.findall(nodes.system_message) if m["level"] >= 2]


class ApiMembers(SphinxDirective):
    """``api-members MODULE``: document every public name of MODULE.

    ``:reexports-from: OTHER`` lists the names that are OTHER's own objects as
    links instead of documenting them twice; ``:skip:`` leaves names out.
    """

    required_arguments = 1
    option_spec = {
        "reexports-from": directives.unchanged,
        "skip": directives.unchanged,
    }

    def run(self) -> list[nodes.Node]:
        modname = self.arguments[0]
        module = importlib.import_module(modname)
        skip = set((self.options.get("skip") or "").replace(",", " ").split())
        other_name = self.options.get("reexports-from")
        other = importlib.import_module(other_name) if other_name else None
        # The module's own docstring first; it is also the target of :mod: links.
        out: list[nodes.Node] = self._entry(modname, module)
        head = len(out)
        reexported: list[str] = []
        for name in public_names(module):
            if name in skip:
                continue
            obj = getattr(module, name)
            if other is not None and getattr(other, name, None) is obj:
                reexported.append(name)
                continue
            if isinstance(obj, types.ModuleType):
                out += self._parse([f"``{name}``: see :mod:`{obj.__name__}`.", ""])
                continue
            out += self._entry(f"{modname}.{name}", obj)
        if reexported:
            links = ", ".join(f":py:obj:`{other_name}.{n}`" for n in reexported)
            text = f"Re-exported from :mod:`{other_name}` (the same objects): {links}."
            out[head:head] = self._parse([text, ""])
        return out

    def _parse(self, lines: list[str]) -> list[nodes.Node]:
        if type(self.state).__module__.startswith("myst_parser"):
            # A Markdown page: the generated reStructuredText goes through its rST bridge.
            lines = ["``````{eval-rst}", *lines, "``````"]
        box = nodes.container()
        self.state.nested_parse(StringList(lines, source=self.get_source_info()[0]), 0, box)
        return list(box.children)

    def _entry(self, qualified: str, obj: Any) -> list[nodes.Node]:
        # A trial parse, unindexed and silenced, finds the docstrings that are
        # not reStructuredText (named by their messages' "docstring of X"); the
        # real parse then shows those verbatim.
        lines = entry_lines(qualified, obj)
        reporter = self.state.document.reporter
        level = reporter.report_level
        reporter.report_level = 5
        try:
            trial = nodes.container("", *self._parse([*lines[:1], "   :no-index:", *lines[1:]]))
        finally:
            reporter.report_level = level
        faulty = {_owner(m) or qualified for m in _problems(trial)}
        if faulty:
            logger.info("shown verbatim (not reStructuredText): %s", ", ".join(sorted(faulty)))
        shown = self.env.temp_data.setdefault(_VERBATIM, set())
        shown |= faulty
        try:
            parsed = self._parse(lines)
        finally:
            shown -= faulty
        for message in _problems(nodes.container("", *parsed)):
            logger.warning("%s: %s", qualified, message.astext(), location=self.get_location())
        return parsed


def _owner(message: nodes.system_message) -> str | None:
    found = re.search(r"docstring of (\S+)", message.get("source") or "")
    return found.group(1) if found else None


def _process_docstring(
    app: Sphinx, what: str, name: str, obj: Any, options: Any, lines: list[str]
) -> None:
    if name in app.env.temp_data.get(_VERBATIM, ()):
        lines[:] = verbatim(lines)


def setup(app: Sphinx) -> dict[str, Any]:
    app.add_directive("api-members", ApiMembers)
    app.connect("autodoc-process-docstring", _process_docstring)
    return {"parallel_read_safe": True, "parallel_write_safe": True}
