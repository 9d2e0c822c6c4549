# SPDX-License-Identifier: GPL-3.0-or-later
"""Collects problems (rule violations) and notes (tolerated oddities).

Every line names the rule's home: a section of [MS-PST] ("2.2.2.7.1"), or
"Outlook" for a habit of Outlook's own files that the format document does
not state but that Outlook's repair tool or its readers rely on.
"""

# Where a layer's rules live when a call names no narrower section.
LAYER_SECTION = {
    'header': '2.2.2.6', 'page': '2.2.2.7.1', 'amap': '2.2.2.7.2', 'pmap': '2.2.2.7.3',
    'dlist': '2.2.2.7.4', 'fmap': '2.2.2.7.5', 'btree': '2.2.2.7.7', 'block': '2.2.2.8',
    'datatree': '2.2.2.8.3.2', 'subnode': '2.2.2.8.3.3', 'heap': '2.3.1', 'bth': '2.3.2',
    'pc': '2.3.3', 'prop': '2.3.3', 'ltp': '2.3.3.2', 'tc': '2.3.4', 'messaging': '2.4',
    'folder': '2.4.4', 'message': '2.4.5', 'recipient': '2.4.5.3', 'attachment': '2.4.6',
    'nameid': '2.4.7', 'search': '2.4.8', 'calculated': '2.5', 'mandatory': '2.7',
    'nid': 'Outlook', 'rowver': 'Outlook',
}


class Report:
    def __init__(self, strict_leaks=False, limit=200):
        self.problems = []
        self.notes = []
        self.stats = {}
        self.strict_leaks = strict_leaks
        self._limit = limit
        self._per_kind = {}
        self._noted = set()

    @staticmethod
    def _line(layer, sec, text):
        return '%s [%s]: %s' % (layer, sec or LAYER_SECTION.get(layer, '?'), text)

    def problem(self, layer, text, kind=None, sec=None):
        # Damage in one spot can cascade; cap each kind so the real cause
        # stays readable at the top.
        key = kind or (layer + text[:24])
        n = self._per_kind.get(key, 0)
        self._per_kind[key] = n + 1
        if n < 20 and len(self.problems) < self._limit:
            self.problems.append(self._line(layer, sec, text))
        elif n == 20:
            self.problems.append(self._line(layer, sec, '(further problems of this kind not shown)'))

    def note(self, layer, text, sec=None, once=None):
        """A tolerated departure. With `once`, only the first of its kind is
        kept (Outlook repeats some of them in every node)."""
        if once is not None:
            if once in self._noted:
                return
            self._noted.add(once)
        self.notes.append(self._line(layer, sec, text))

    def leak(self, layer, text, sec=None):
        if self.strict_leaks:
            self.problem(layer, text, sec=sec)
        else:
            self.note(layer, text, sec=sec)

    def ok(self):
        return not self.problems
