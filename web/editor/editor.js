// The page's editor: CodeMirror with MML highlighting, the compiler's
// diagnostics as underlines and gutter marks, and a mark per part on the
// note it is playing.  Bundled by esbuild into
// editor.bundle.js; the page imports createEditor from it.
import { EditorView, basicSetup } from 'codemirror';
import { Decoration } from '@codemirror/view';
import { EditorState, StateEffect, StateField } from '@codemirror/state';
import { StreamLanguage, HighlightStyle, syntaxHighlighting } from '@codemirror/language';
import { setDiagnostics, lintGutter } from '@codemirror/lint';
import { tags } from '@lezer/highlight';

// MML: comments after ';', header and preprocessor lines (.title, #include),
// the part letters that start a line, notes, numbers, strings and macros.
const mml = StreamLanguage.define({
  name: 'mml',
  startState: () => ({ lineStart: true }),
  token(stream, state) {
    const atStart = stream.sol();
    if (atStart) state.lineStart = true;
    if (stream.eatSpace()) return null;
    if (stream.match(/^;.*/)) return 'comment';
    if (atStart && stream.match(/^[.#][A-Za-z@]+/)) {
      state.lineStart = false;
      return 'keyword';
    }
    if (state.lineStart) {
      state.lineStart = false;
      if (stream.match(/^[0-9A-Za-z]+(?=\s)/)) return 'labelName';
    }
    if (stream.match(/^"[^"]*"?/)) return 'string';
    if (stream.match(/^\$[A-Za-z_][A-Za-z_0-9]*/)) return 'macroName';
    if (stream.match(/^[a-g][+\-#]?/)) return 'variableName';
    if (stream.match(/^[rR]/)) return 'variableName.special';
    if (stream.match(/^-?\d+/)) return 'number';
    if (stream.match(/^[\[\](){}:|]/)) return 'bracket';
    stream.next();
    return 'operator';
  },
  tokenTable: { macroName: tags.macroName, labelName: tags.labelName },
});

const highlight = HighlightStyle.define([
  { tag: tags.comment, color: '#6a737d', fontStyle: 'italic' },
  { tag: tags.keyword, color: '#8250df' },
  { tag: tags.labelName, color: '#cf222e', fontWeight: 'bold' },
  { tag: tags.string, color: '#0a3069' },
  { tag: tags.macroName, color: '#953800' },
  { tag: tags.variableName, color: '#0550ae' },
  { tag: tags.special(tags.variableName), color: '#57606a' },
  { tag: tags.number, color: '#116329' },
  { tag: tags.bracket, color: '#bf8700' },
]);

// The notes playing: a mark over each, in its part's colour.
const setPlaying = StateEffect.define();
const playing = StateField.define({
  create: () => Decoration.none,
  update(marks, tr) {
    for (const e of tr.effects) if (e.is(setPlaying)) return e.value;
    return tr.docChanged ? Decoration.none : marks;
  },
  provide: (f) => EditorView.decorations.from(f),
});

// The text of a command from its first byte: a note with its accidentals,
// length and dots, a macro use, or one character.
const COMMAND = /^(\$[A-Za-z_0-9]+|\?\S|[a-g][+\-#]*\d*\.*|\S)/;

// An editor in `parent`; `onChange(text)` after every change of the text.
export function createEditor(parent, text, onChange) {
  const view = new EditorView({
    parent,
    state: EditorState.create({
      doc: text,
      extensions: [
        basicSetup,
        mml,
        syntaxHighlighting(highlight),
        lintGutter(),
        playing,
        EditorView.lineWrapping,
        EditorView.updateListener.of((u) => {
          if (u.docChanged) onChange(u.state.doc.toString());
        }),
      ],
    }),
  });
  return {
    view,
    text: () => view.state.doc.toString(),
    setText(value) {
      view.dispatch({ changes: { from: 0, to: view.state.doc.length, insert: value } });
    },
    // diagnostics: [{line, column, severity, message}] with lines and columns from 1.
    setDiagnostics(list) {
      const doc = view.state.doc;
      const marks = list.map((d) => {
        const line = doc.line(Math.min(Math.max(d.line, 1), doc.lines));
        const from = Math.min(line.from + Math.max(d.column, 1) - 1, line.to);
        const wordEnd = line.text.slice(from - line.from).search(/\s|$/);
        const to = Math.min(line.to, from + Math.max(wordEnd, 1));
        return { from, to: Math.max(to, from), severity: d.severity, message: d.message };
      });
      view.dispatch(setDiagnostics(view.state, marks));
    },
    // marks: [{line, column, part, color}] (from 1): the notes playing.
    setPlaying(list) {
      const doc = view.state.doc;
      const ranges = [];
      for (const m of list) {
        if (m.line < 1 || m.line > doc.lines) continue;
        const line = doc.line(m.line);
        const from = Math.min(line.from + Math.max(m.column, 1) - 1, line.to);
        const command = COMMAND.exec(line.text.slice(from - line.from));
        const to = from + (command ? command[0].length : 0);
        if (to === from) continue;
        ranges.push(Decoration.mark({
          class: 'cm-playing',
          attributes: { 'data-part': m.part, style: `background-color: ${m.color}` },
        }).range(from, to));
      }
      ranges.sort((a, b) => a.from - b.from);
      view.dispatch({ effects: setPlaying.of(Decoration.set(ranges)) });
    },
    // Puts the cursor at a line and column (from 1) and shows it.
    jumpTo(lineNumber, column) {
      const doc = view.state.doc;
      const line = doc.line(Math.min(Math.max(lineNumber, 1), doc.lines));
      const pos = Math.min(line.from + Math.max(column, 1) - 1, line.to);
      view.dispatch({ selection: { anchor: pos }, scrollIntoView: true });
      view.focus();
    },
  };
}
