"""Collects problems (rule violations) and notes (tolerated oddities)."""


class Report:
    def __init__(self, strict_leaks=False, limit=200):
        self.problems = []
        self.notes = []
        self.stats = {}
        self.strict_leaks = strict_leaks
        self._limit = limit
        self._per_kind = {}

    def problem(self, layer, text, kind=None):
        # Damage in one spot can cascade; cap each kind so the real cause
        # stays readable at the top.
        key = kind or (layer + text[:24])
        n = self._per_kind.get(key, 0)
        self._per_kind[key] = n + 1
        if n < 20 and len(self.problems) < self._limit:
            self.problems.append('%s: %s' % (layer, text))
        elif n == 20:
            self.problems.append('%s: (further problems of this kind not shown)' % layer)

    def note(self, layer, text):
        self.notes.append('%s: %s' % (layer, text))

    def leak(self, layer, text):
        if self.strict_leaks:
            self.problem(layer, text)
        else:
            self.note(layer, text)

    def ok(self):
        return not self.problems
