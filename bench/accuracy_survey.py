#!/usr/bin/env python3
"""Measures zelk's check of the solution against the true error.

Generates trusses of four kinds (Pratt bridges, masts, braced grids and
random trusses; loaded, loaded on a support, with moved supports, with
opposite loads), runs zelk on each and bench/true_error on its output (the
same structure solved again in extended precision), and reports:
  - how many answers off by more than 2% came without a warning;
  - how many answers right to 0.05% came with one;
  - the true error over the estimate that the warning gives;
  - the smallest pivot over its diagonal among the right answers;
  - how many mechanisms (a non-positive pivot in extended precision) warned.
Usage: bench/accuracy_survey.py BUILD_DIR [COUNT_PER_KIND [KIND,...]]
  BUILD_DIR: a release build holding analysis/zelk and bench/true_error.
Needs python3 only; run by hand, not in CI.
"""
import concurrent.futures
import os
import random
import re
import statistics
import subprocess
import sys
import tempfile


def emit(nodes, bars, areas, E, supports, loads, f):
    # nodes: list of (x,y); bars: (i,j,sec) 1-based; areas: list; supports: (node,axis,val); loads: (node,axis,val)
    o=["C"]+["%.9g %.9g"%p for p in nodes]
    o+=["B"]+["%d %d %d"%b for b in bars]
    o+=["S"]+["1 %.9g"%a for a in areas]
    o+=["M %.9g"%E]
    o+=["V"]+["%d %d %.9g"%s for s in supports]
    if loads: o+=["Q"]+["%d %d %.9g"%l for l in loads]
    f.write("\n".join(o)+"\n")

def bridge(P, h, L=4.0):
    nodes,bars,bot,top=bridge_secs(P,h,L)
    return nodes,[(i,j,1) for i,j,_ in bars],bot,top

def bridge_secs(P, h, L=4.0, missing=None):
    """A Pratt bridge with section types: 1 chords, 2 diagonals, 3 verticals;
    diagonal `missing` (0-based panel) left out."""
    nodes=[];bars=[]
    for i in range(P+1):
        nodes.append((L*i,0.0)); nodes.append((L*i,h))
    bot=lambda i:2*i+1; top=lambda i:2*i+2
    for i in range(P):
        bars.append((bot(i),bot(i+1),1)); bars.append((top(i),top(i+1),1))
        if i == missing: continue
        if i < P/2: bars.append((bot(i),top(i+1),2))
        else: bars.append((top(i),bot(i+1),2))
    for i in range(P+1): bars.append((bot(i),top(i),3))
    return nodes,bars,bot,top

def mast(P, w, H=1.0):
    nodes=[];bars=[]
    for i in range(P+1):
        nodes.append((0.0,H*i)); nodes.append((w,H*i))
    l=lambda i:2*i+1; r=lambda i:2*i+2
    for i in range(P+1): bars.append((l(i),r(i),1))
    for i in range(P):
        bars.append((l(i),l(i+1),1)); bars.append((r(i),r(i+1),1)); bars.append((l(i),r(i+1),1))
    return nodes,bars,l,r

def grid(R,C,L=1.0):
    nodes=[];bars=[]
    idx=lambda i,j:i*C+j+1
    for i in range(R):
        for j in range(C): nodes.append((L*j,L*i))
    for i in range(R):
        for j in range(C):
            if j+1<C: bars.append((idx(i,j),idx(i,j+1),1))
            if i+1<R: bars.append((idx(i,j),idx(i+1,j),1))
            if i+1<R and j+1<C: bars.append((idx(i,j),idx(i+1,j+1),1)); bars.append((idx(i,j+1),idx(i+1,j),1))
    return nodes,bars,idx

def case(kind, seed, f):
    rnd=random.Random(seed)
    E=2e8 if rnd.random()<0.5 else 1000.0
    if kind=="bridge":
        P=rnd.choice([4,6,10,20,30,40,50,60,80,100,150,200]); h=rnd.choice([3,1,0.5,0.2,0.1,0.05,0.03])
        nodes,bars,bot,top=bridge(P,h)
        sup=[(1,1,0.0),(1,2,0.0),(bot(P),2,0.0)]
        variant=rnd.choice(["load","load","supload","settle","settle_only","pull","point"])
        loads=[]
        if variant in ("load","supload","settle"): loads=[(bot(i),2,-1.0) for i in range(1,P)]
        if variant=="supload": loads.append((1,2,-1000.0))
        if variant=="pull": loads=[(bot(P),1,10.0)]
        if variant=="point": loads=[(top(P//2),2,-5.0)]
        if variant in ("settle","settle_only"):
            s=rnd.choice([1e-6,1e-4,0.01]); sup[2]=(bot(P),2,-s)
        emit(nodes,bars,[1.0],E,sup,loads,f); return "bridge P%d h%g %s"%(P,h,variant)
    if kind=="mast":
        P=rnd.choice([6,10,20,40,80,120]); w=rnd.choice([1,0.5,0.1,0.05,0.02])
        nodes,bars,l,r=mast(P,w)
        sup=[(1,1,0.0),(1,2,0.0),(2,1,0.0),(2,2,0.0)]
        variant=rnd.choice(["axial","lateral","settle_lat","settle_ax","opposite","settle_only"])
        loads=[]
        if variant in ("axial","settle_ax"): loads=[(l(P),2,-1.0),(r(P),2,-1.0)]
        if variant in ("lateral","settle_lat"): loads=[(l(P),1,1.0)]
        if variant=="opposite": loads=[(l(P),1,-1.0),(r(P),1,1.0)]
        if variant.startswith("settle"): sup[3]=(2,2,-rnd.choice([1e-6,1e-4,1e-2]))
        emit(nodes,bars,[1.0],E,sup,loads,f); return "mast P%d w%g %s"%(P,w,variant)
    if kind=="grid":
        R=rnd.choice([3,5,10,20,30]); C=rnd.choice([3,5,10,20,40])
        nodes,bars,idx=grid(R,C)
        sup=[(idx(0,j),2,0.0) for j in range(C)]+[(idx(0,0),1,0.0)]
        loads=[(idx(R-1,j),2,-1.0) for j in range(C)] if rnd.random()<0.7 else [(idx(R-1,C-1),1,1.0)]
        emit(nodes,bars,[1.0],E,sup,loads,f); return "grid %dx%d"%(R,C)
    if kind=="link":
        # A bridge whose roller stands on a short stiff link, the link's foot settling.
        P=rnd.choice([1,2,4,10,30,100,300,900]); h=rnd.choice([3,1,0.25])
        nodes,bars,bot,top=bridge_secs(P,h)
        ell=rnd.choice([0.01,0.1,1.0]); s=rnd.choice([0.0,1e-4,0.01])
        nodes.append((4.0*P,-ell)); foot=len(nodes)
        bars.append((bot(P),foot,4))
        areas=[1.0,1.0,1.0,rnd.choice([1.0,2.0,100.0])]
        sup=[(1,1,0.0),(1,2,0.0),(foot,1,0.0),(foot,2,-s)]
        Q=10**rnd.uniform(-3,2)
        loads=[(bot(i),2,-Q) for i in range(1,P)] if P>1 else [(top(0),2,-Q)]
        emit(nodes,bars,areas,E,sup,loads,f); return "link P%d h%g l%g s%g Q%.3g"%(P,h,ell,s,Q)
    if kind=="settle_small":
        # A settled support and a small load.
        P=rnd.choice([1,2,4,10,40]); h=rnd.choice([3,1,0.25])
        nodes,bars,bot,top=bridge_secs(P,h)
        s=rnd.choice([1e-4,0.01]); Q=10**rnd.uniform(-5,1)
        sup=[(1,1,0.0),(1,2,0.0),(bot(P),2,-s)]
        if rnd.random()<0.3: sup.append((bot(P),1,0.0))  # indeterminate
        loads=[(top(P//2),2,-Q)]
        emit(nodes,bars,[1.0,1.0,1.0],E,sup,loads,f); return "settle_small P%d h%g s%g Q%.3g %d"%(P,h,s,Q,len(sup))
    if kind=="missing":
        # A bridge with one diagonal missing: a mechanism.
        P=rnd.choice([3,4,5,6,8,11,20,40,100,300]); h=rnd.choice([1,3,4,0.5])
        i=rnd.randrange(P)
        nodes,bars,bot,top=bridge_secs(P,h,L=1.0 if h<=1 else 4.0,missing=i)
        sup=[(1,1,0.0),(1,2,0.0),(bot(P),2,0.0)]
        v=rnd.choice(["down","down","sym","lateral"])
        if v=="down": loads=[(bot(j),2,-1.0) for j in range(1,P)]
        elif v=="sym": loads=[(bot(j),2,-1.0) for j in range(1,P) if 2*j!=P]
        else: loads=[(top(P),1,1.0)]
        emit(nodes,bars,[1.0,1.0,1.0],E,sup,loads,f); return "missing P%d h%g i%d %s"%(P,h,i,v)
    if kind=="missing_every":
        # Every diagonal missing in turn, bridges of 3 to 300 panels 1 deep,
        # loaded down: seed k takes the k-th (panels, diagonal) pair.
        pairs=[(P,i) for P in (3,4,5,6,7,8,9,10,11,20,40,100,300) for i in range(P)]
        P,i=pairs[(seed-1)%len(pairs)]
        nodes,bars,bot,top=bridge_secs(P,1.0,L=1.0,missing=i)
        sup=[(1,1,0.0),(1,2,0.0),(bot(P),2,0.0)]
        loads=[(bot(j),2,-1.0) for j in range(1,P)]
        emit(nodes,bars,[1.0,1.0,1.0],200000.0,sup,loads,f); return "missing_every P%d i%d"%(P,i)
    if kind=="rollers":
        # No horizontal support: a mechanism along x.
        P=rnd.choice([2,4,10,40]); h=rnd.choice([3,1])
        nodes,bars,bot,top=bridge_secs(P,h)
        sup=[(1,2,0.0),(bot(P),2,0.0)]
        v=rnd.choice(["down","pull","none"])
        loads=[(bot(j),2,-1.0) for j in range(1,P)] if v=="down" else [(top(P//2),1,1.0)] if v=="pull" else []
        emit(nodes,bars,[1.0,1.0,1.0],E,sup,loads,f); return "rollers P%d h%g %s"%(P,h,v)
    if kind=="pinched":
        # A long slender bridge pinched by two opposite loads at mid-span.
        P=rnd.choice([50,100,300,500,900]); h=rnd.choice([1,0.5,0.25])
        nodes,bars,bot,top=bridge_secs(P,h,L=1.0)
        sup=[(1,1,0.0),(1,2,0.0),(bot(P),2,0.0)]
        loads=[(top(P//2),2,-1.0),(bot(P//2),2,1.0)]
        emit(nodes,bars,[1.0,1.0,1.0],E,sup,loads,f); return "pinched P%d h%g"%(P,h)
    if kind=="contrast":
        # Chords far stiffer than the web, or a brace far thinner.
        P=rnd.choice([4,10,30,100]); h=rnd.choice([3,1])
        nodes,bars,bot,top=bridge_secs(P,h)
        c=10**rnd.choice([2,4,6,7]); thin=10**-rnd.choice([0,4,7,10])
        areas=[c,thin if rnd.random()<0.5 else 1.0,1.0]
        sup=[(1,1,0.0),(1,2,0.0),(bot(P),2,0.0)]
        loads=[(bot(j),2,-1.0) for j in range(1,P)]
        emit(nodes,bars,areas,E,sup,loads,f); return "contrast P%d h%g c%g thin%g"%(P,h,c,thin)
    if kind=="units":
        # One bridge in units from 1e-40 to 1e35: lengths, modulus and loads scaled.
        P=rnd.choice([4,10,30]); h=rnd.choice([3,1])
        k=rnd.choice([-40,-30,-20,-10,0,10,20,30,35])
        nodes,bars,bot,top=bridge_secs(P,h)
        which=rnd.choice(["loads","length","modulus"])
        L=10.0**k if which=="length" else 1.0
        nodes=[(x*L,y*L) for x,y in nodes]
        E2=E*(10.0**k if which=="modulus" else 1.0)
        Q=10.0**k if which=="loads" else 1.0
        sup=[(1,1,0.0),(1,2,0.0),(bot(P),2,0.0)]
        loads=[(bot(j),2,-Q) for j in range(1,P)]
        emit(nodes,bars,[1.0,1.0,1.0],E2,sup,loads,f); return "units P%d h%g %s 1e%d"%(P,h,which,k)
    if kind=="numbering":
        # A bridge numbered along its length or at random: the same truss.
        P=rnd.choice([4,10,30]); h=rnd.choice([3,1,0.25])
        nodes,bars,bot,top=bridge_secs(P,h)
        perm=list(range(1,len(nodes)+1)); rnd.shuffle(perm)
        inv={old:new for new,old in enumerate(perm,1)}
        nodes2=[None]*len(nodes)
        for old,new in inv.items(): nodes2[new-1]=nodes[old-1]
        bars=[(inv[a],inv[b],s_) for a,b,s_ in bars]
        sup=[(inv[1],1,0.0),(inv[1],2,0.0),(inv[bot(P)],2,0.0)]
        loads=[(inv[bot(j)],2,-1.0) for j in range(1,P)]
        emit(nodes2,bars,[1.0,1.0,1.0],E,sup,loads,f); return "numbering P%d h%g"%(P,h)
    if kind=="random":
        n=rnd.randint(6,60)
        nodes=[(rnd.uniform(0,10),rnd.uniform(0,rnd.choice([10,2,0.5]))) for _ in range(n)]
        nodes.sort()
        bars=set()
        for i in range(n):
            d=sorted(range(n),key=lambda j:(nodes[i][0]-nodes[j][0])**2+(nodes[i][1]-nodes[j][1])**2)
            for j in d[1:4]: bars.add((min(i,j)+1,max(i,j)+1))
        ns=rnd.choice([1,3])
        bars=[(a,b,rnd.randint(1,ns)) for a,b in sorted(bars)]
        areas=[10**rnd.uniform(-2,2) for _ in range(ns)]
        sup=[(1,1,0.0),(1,2,0.0),(n,2,0.0),(n,1,0.0)]
        if rnd.random()<0.3: sup[3]=(n,1,rnd.choice([1e-6,1e-3]))
        loads=[(rnd.randint(1,n),rnd.randint(1,2),rnd.uniform(-10,10)) for _ in range(rnd.randint(0,4))]
        emit(nodes,bars,areas,E,sup,loads,f); return "random n%d"%n

WARN = re.compile(r"warning: spoiled: displacements off by about (\S+)%, bar forces by (\S+)%")


def run(build, kind, seed):
    with tempfile.TemporaryDirectory() as t:
        src = os.path.join(t, "in.txt")
        with open(src, "w") as f:
            desc = case(kind, seed, f)
        with open(src) as i, open(os.path.join(t, "out.txt"), "w") as o:
            z = subprocess.run([os.path.join(build, "analysis/zelk")], stdin=i, stdout=o,
                               stderr=subprocess.PIPE, text=True)
        with open(os.path.join(t, "err.txt"), "w") as e:
            e.write(z.stderr)
        with open(src) as i:
            te = subprocess.run([os.path.join(build, "bench/true_error"), os.path.join(t, "out.txt"),
                                 os.path.join(t, "err.txt")],
                                stdin=i, capture_output=True, text=True)
    w = WARN.search(z.stderr)
    return dict(kind=kind, seed=seed, desc=desc, status=z.returncode, true=te.stdout.split(),
                est=(float(w.group(1)) / 100, float(w.group(2)) / 100) if w else None,
                other="warning: the solution holds" in z.stderr or "spoiled: the check" in z.stderr,
                named="warning: node " in z.stderr, pivots="pivot" in z.stderr)


def main():
    build = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 200
    kinds = sys.argv[3].split(",") if len(sys.argv) > 3 else ["bridge", "mast", "grid", "random"]
    jobs = [(k, s) for k in kinds for s in range(1, count + 1)]
    with concurrent.futures.ThreadPoolExecutor(max_workers=os.cpu_count() or 4) as ex:
        res = list(ex.map(lambda j: run(build, *j), jobs))
    solved, mech, none = [], [], 0
    for r in res:
        t = r["true"]
        if r["status"] != 0 or not t:
            none += 1
        elif t[0] == "mechanism":
            r["piv"], r["at"], r["nnamed"], r["moving"] = float(t[2]), float(t[4]), int(t[6]), int(t[8])
            mech.append(r)
        else:
            r["tu"], r["tn"], r["piv"] = float(t[1]), float(t[3]), float(t[7])
            solved.append(r)
    err = lambda r: max(r["tu"], r["tn"])
    warned = lambda r: r["est"] is not None or r["other"]
    spoiled = [r for r in solved if err(r) > 0.02]
    right = [r for r in solved if err(r) <= 0.0005]
    print("runs %d: solved %d, mechanisms %d, no solution %d" % (len(res), len(solved), len(mech), none))
    print("off by more than 2%%: %d, of which silent: %d" % (len(spoiled), sum(1 for r in spoiled if not warned(r))))
    for r in spoiled:
        if not warned(r):
            print("  silent:", r["kind"], r["seed"], r["desc"], r["tu"], r["tn"])
    print("right to 0.05%%: %d, of which spoiled: %d, naming a pivot: %d"
          % (len(right), sum(1 for r in right if r["est"]), sum(1 for r in right if r["pivots"])))
    for r in right:
        if r["est"]:
            print("  warned:", r["kind"], r["seed"], r["desc"], r["tu"], r["tn"], r["est"])
    est = [r for r in spoiled if r["est"]]
    for name, t, e in (("displacements", "tu", 0), ("bar forces", "tn", 1)):
        xs = sorted(r[t] / r["est"][e] for r in est if r["est"][e] > 0 and r[t] > 0.02)
        if xs:
            below = [r[t] / r["est"][e] for r in est if 0 < r["est"][e] < 1 and r[t] > 0.02]
            small = [r[t] / r["est"][e] for r in est if 0 < r["est"][e] < 0.1 and r[t] > 0.02]
            print("%s off by more than 2%%: true error over its estimate: min %.3g median %.3g max %.3g; "
                  "within 2x: %d of %d; where the estimate is under 100%%: %.3g to %.3g; "
                  "under 10%%: %.3g to %.3g (%d)"
                  % (name, xs[0], statistics.median(xs), xs[-1], sum(1 for x in xs if 0.5 <= x <= 2),
                     len(xs), min(below, default=float("nan")), max(below, default=float("nan")),
                     min(small, default=float("nan")), max(small, default=float("nan")), len(small)))
    if est:
        print("smallest warned estimate among the answers off by more than 2%%: %.3g"
              % min(max(r["est"]) for r in est))
    if right:
        print("smallest pivot over its diagonal among right answers: %.3g" % min(r["piv"] for r in right))
    sp = [r for r in mech if r["est"] or r["other"]]
    print("mechanisms %d: spoiled %d, of which naming a node that moves: %d; silent: %d; "
          "naming a pivot: %d" % (len(mech), len(sp), sum(1 for r in sp if r["moving"] > 0),
                                  sum(1 for r in mech if not r["named"] and not warned(r)),
                                  sum(1 for r in mech if r["pivots"])))
    for r in sp:
        if r["moving"] == 0:
            print("  names no moving node:", r["kind"], r["seed"], r["desc"], r["nnamed"])
    for r in mech:
        if not r["named"] and not warned(r):
            print("  silent mechanism:", r["kind"], r["seed"], r["desc"], "pivot %.3g" % r["at"])
    if mech:
        ats = sorted(r["at"] for r in mech if r["at"] == r["at"])
        print("mechanism's printed pivot over its diagonal: min %.3g median %.3g max %.3g"
              % (ats[0], statistics.median(ats), ats[-1]))


if __name__ == "__main__":
    main()
