"""The command line's reference, read from its argparse parser.

``cli-reference`` documents the parser named by the ``wayloom_cli_parser``
setting ("module:function") and each of its sub-commands: usage, description,
arguments by group. ``exit-statuses`` turns the "exit status:" block of the
parser's epilog into a table; the build fails if that block is missing.
"""

from __future__ import annotations

import argparse
import importlib
import re
from typing import Any

from docutils import nodes
from sphinx.application import Sphinx
from sphinx.util.docutils import SphinxDirective


def load_parser(target: str) -> argparse.ArgumentParser:
    module, _, function = target.partition(":")
    parser = getattr(importlib.import_module(module), function)()
    if not isinstance(parser, argparse.ArgumentParser):
        raise TypeError(f"{target} returned {type(parser).__name__}, not an ArgumentParser")
    return parser


def subcommands(parser: argparse.ArgumentParser) -> list[tuple[str, argparse.ArgumentParser]]:
    """(name, parser) of each sub-command, in the order they were added; aliases once."""
    found: list[tuple[str, argparse.ArgumentParser]] = []
    for action in parser._actions:
        if isinstance(action, argparse._SubParsersAction):
            seen: set[int] = set()
            for name, sub in action.choices.items():
                if id(sub) not in seen:
                    seen.add(id(sub))
                    found.append((name, sub))
    return found


def exit_statuses(epilog: str) -> list[tuple[str, str]]:
    """The (status, meaning) rows under an "exit status:" line, continuation lines joined."""
    rows: list[tuple[str, str]] = []
    inside = False
    for line in epilog.splitlines():
        if re.match(r"\s*exit status(es)?:\s*$", line, re.I):
            inside = True
            continue
        if not inside:
            continue
        row = re.match(r"\s+(\d+)\s+(.*)", line)
        if row:
            rows.append((row.group(1), row.group(2).strip()))
        elif rows and line.startswith("    ") and line.strip():
            rows[-1] = (rows[-1][0], rows[-1][1] + " " + line.strip())
        else:
            break
    return rows


def _para(text: str) -> nodes.paragraph:
    return nodes.paragraph(text, text)


def _literal(text: str) -> nodes.literal_block:
    block = nodes.literal_block(text, text)
    block["language"] = "none"
    return block


class _ParserDirective(SphinxDirective):
    def parser(self) -> argparse.ArgumentParser:
        return load_parser(self.config.wayloom_cli_parser)


class CliReference(_ParserDirective):
    """Usage, description and arguments of the parser and of every sub-command."""

    def run(self) -> list[nodes.Node]:
        parser = self.parser()
        out: list[nodes.Node] = self._describe(parser, parser.prog, top=True)
        shown = {parser.epilog}
        for name, sub in subcommands(parser):
            section = nodes.section(ids=[nodes.make_id(f"{parser.prog}-{name}")])
            section += nodes.title("", "", nodes.literal(text=f"{parser.prog} {name}"))
            section += self._describe(sub, f"{parser.prog} {name}", top=False)
            if sub.epilog and not any(sub.epilog in text for text in shown if text):
                shown.add(sub.epilog)
                section += _literal(sub.epilog)
            self.state.document.note_implicit_target(section)
            out.append(section)
        return out

    def _describe(self, parser: argparse.ArgumentParser, prog: str, top: bool) -> list[nodes.Node]:
        parser.prog = prog
        out: list[nodes.Node] = [_literal(parser.format_usage().strip())]
        if parser.description:
            out += [_para(p) for p in re.split(r"\n\s*\n", parser.description.strip())]
        formatter = parser._get_formatter()
        for group in parser._action_groups:
            items = nodes.definition_list()
            for action in group._group_actions:
                if action.help == argparse.SUPPRESS or isinstance(
                    action, argparse._SubParsersAction
                ):
                    continue
                term = nodes.term("", "", nodes.literal(text=_invocation(formatter, action)))
                help_text = formatter._expand_help(action) if action.help else ""
                items += nodes.definition_list_item(
                    "", term, nodes.definition("", _para(help_text))
                )
            if len(items):
                out += [nodes.rubric(text=group.title or "arguments"), items]
        if top and parser.epilog:
            out.append(_literal(parser.epilog))
        return out


def _invocation(formatter: argparse.HelpFormatter, action: argparse.Action) -> str:
    if not action.option_strings:
        return formatter._metavar_formatter(action, action.dest)(1)[0]
    if action.nargs == 0:
        return ", ".join(action.option_strings)
    args = formatter._format_args(action, action.dest.upper())
    return ", ".join(f"{flag} {args}" for flag in action.option_strings)


class ExitStatuses(_ParserDirective):
    """The exit statuses the parser's epilog promises, as a table."""

    def run(self) -> list[nodes.Node]:
        rows = exit_statuses(self.parser().epilog or "")
        if not rows:
            raise self.error("the command line's epilog has no 'exit status:' block")
        table = nodes.table()
        group = nodes.tgroup(cols=2)
        table += group
        group += [nodes.colspec(colwidth=1), nodes.colspec(colwidth=8)]
        head = nodes.thead()
        head += _row("status", "meaning")
        body = nodes.tbody()
        for status, meaning in rows:
            body += _row(status, meaning)
        group += [head, body]
        return [table]


def _row(*cells: str) -> nodes.row:
    row = nodes.row()
    for text in cells:
        row += nodes.entry("", _para(text))
    return row


def setup(app: Sphinx) -> dict[str, Any]:
    app.add_config_value("wayloom_cli_parser", "wayloom.cli:build_parser", "env")
    app.add_directive("cli-reference", CliReference)
    app.add_directive("exit-statuses", ExitStatuses)
    return {"parallel_read_safe": True, "parallel_write_safe": True}
