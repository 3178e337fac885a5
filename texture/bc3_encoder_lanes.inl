// The BC3 encoder run on several blocks at once, one block per vector lane.
// Each lane performs exactly the IEEE operations of bc3_encoder.cc in the
// same order; where the reference branches, both sides are computed and the
// lane's side is selected, and its refinement loops keep running until every
// lane has stopped, with stopped lanes masked out. Values summed by a masked
// lane add +0, which leaves the sums (never -0, as they start at +0) as
// they were. So every lane writes the reference encoder's bytes.
//
// Included inside an unnamed namespace by the file that defines the vector
// type V (one file per instruction set, each compiled for its own target):
//   F, I             float and int32 vectors of V::kLanes lanes
//   Load, Set, Add, Sub, Mul, Div; Lt, Le, Gt, Ge, Eq (lane masks)
//   And, AndNot(m, v) = v where m is clear, Or, Select(m, a, b), AllOnes, Any
//   Trunc (toward zero), Float; ISet, IAnd, IAndNot, IOr, IAdd, IEq, IGt,
//   ISelect, IShl, IShr, AsF, AsI, StoreI; Lookup16(table, index 0..15)

template <class V>
struct Bc3Lanes {
  using F = typename V::F;
  using I = typename V::I;
  static constexpr int kLanes = V::kLanes;

  static F Quantise(F value, float levels, float inverse) {
    return V::Mul(
        V::Float(V::Trunc(V::Add(V::Mul(value, V::Set(levels)),
                                 V::Set(0.5f)))),
        V::Set(inverse));
  }

  static F Saturate(F value) {
    F one = V::Set(1.0f), zero = V::Set(0.0f);
    F upper = V::Select(V::Lt(one, value), one, value);
    return V::Select(V::Lt(value, zero), zero, upper);
  }

  static I Round(F value, float levels) {
    return V::Trunc(V::Add(V::Mul(value, V::Set(levels)), V::Set(0.5f)));
  }

  static I PackRgb565(F r, F g, F b) {
    I r5 = Round(Saturate(r), 31.0f);
    I g6 = Round(Saturate(g), 63.0f);
    I b5 = Round(Saturate(b), 31.0f);
    return V::IOr(V::IOr(V::IShl(r5, 11), V::IShl(g6, 5)), b5);
  }

  static void UnpackWeighted(I w, F (&out)[3]) {
    using namespace bc3;
    out[0] = V::Mul(V::Mul(V::Float(V::IShr(w, 11)), V::Set(k31)),
                    V::Set(kWeightR));
    out[1] = V::Mul(
        V::Mul(V::Float(V::IAnd(V::IShr(w, 5), V::ISet(63))), V::Set(k63)),
        V::Set(kWeightG));
    out[2] = V::Mul(V::Mul(V::Float(V::IAnd(w, V::ISet(31))), V::Set(k31)),
                    V::Set(kWeightB));
  }

  static F Dot3(F ar, F ag, F ab, F br, F bg, F bb) {
    return V::Add(V::Add(V::Mul(ar, br), V::Mul(ag, bg)), V::Mul(ab, bb));
  }

  static void FitColour(const F (&p)[3][16], F (&x)[3], F (&y)[3]) {
    using namespace bc3;
    x[0] = V::Set(kWeightR);
    x[1] = V::Set(kWeightG);
    x[2] = V::Set(kWeightB);
    y[0] = y[1] = y[2] = V::Set(0.0f);
    for (int i = 0; i < 16; ++i) {
      for (int c = 0; c < 3; ++c) {
        x[c] = V::Select(V::Lt(p[c][i], x[c]), p[c][i], x[c]);
        y[c] = V::Select(V::Gt(p[c][i], y[c]), p[c][i], y[c]);
      }
    }
    F ab[3];
    for (int c = 0; c < 3; ++c) ab[c] = V::Sub(y[c], x[c]);
    F len = Dot3(ab[0], ab[1], ab[2], ab[0], ab[1], ab[2]);
    F tiny = V::Lt(len, V::Set(kTinyColour));

    F inv = V::Div(V::Set(1.0f), len);
    F dir[3], mid[3];
    for (int c = 0; c < 3; ++c) {
      dir[c] = V::Mul(ab[c], inv);
      mid[c] = V::Mul(V::Add(x[c], y[c]), V::Set(0.5f));
    }
    F f[4];
    f[0] = f[1] = f[2] = f[3] = V::Set(0.0f);
    for (int i = 0; i < 16; ++i) {
      F tr = V::Mul(V::Sub(p[0][i], mid[0]), dir[0]);
      F tg = V::Mul(V::Sub(p[1][i], mid[1]), dir[1]);
      F tb = V::Mul(V::Sub(p[2][i], mid[2]), dir[2]);
      F u = V::Add(tr, tg);
      F v = V::Sub(tr, tg);
      F w0 = V::Add(u, tb), w1 = V::Sub(u, tb);
      F w2 = V::Add(v, tb), w3 = V::Sub(v, tb);
      f[0] = V::Add(f[0], V::Mul(w0, w0));
      f[1] = V::Add(f[1], V::Mul(w1, w1));
      f[2] = V::Add(f[2], V::Mul(w2, w2));
      f[3] = V::Add(f[3], V::Mul(w3, w3));
    }
    // The largest spread, ties to the lower index; k 2 and 3 exchange
    // green, k 1 and 3 blue.
    F best = f[0];
    F swapG = V::Set(0.0f), swapB = V::Set(0.0f);
    F m1 = V::Gt(f[1], best);
    best = V::Select(m1, f[1], best);
    swapG = V::AndNot(m1, swapG);
    swapB = V::Or(m1, swapB);
    F m2 = V::Gt(f[2], best);
    best = V::Select(m2, f[2], best);
    swapG = V::Or(m2, swapG);
    swapB = V::AndNot(m2, swapB);
    F m3 = V::Gt(f[3], best);
    swapG = V::Or(m3, swapG);
    swapB = V::Or(m3, swapB);
    swapG = V::AndNot(tiny, swapG);
    swapB = V::AndNot(tiny, swapB);
    F xg = x[1], xb = x[2];
    x[1] = V::Select(swapG, y[1], xg);
    y[1] = V::Select(swapG, xg, y[1]);
    x[2] = V::Select(swapB, y[2], xb);
    y[2] = V::Select(swapB, xb, y[2]);

    const F third = V::Set(kThird), twoThirds = V::Set(kTwoThirds);
    const F one = V::Set(1.0f), zero = V::Set(0.0f), eighth = V::Set(0.125f);
    F active = V::AndNot(V::Lt(len, V::Set(kNearColour)), V::AllOnes());
    for (int round = 0; round < 8; ++round) {
      F d[3];
      for (int c = 0; c < 3; ++c) d[c] = V::Sub(y[c], x[c]);
      F m = Dot3(d[0], d[1], d[2], d[0], d[1], d[2]);
      F run = V::AndNot(V::Lt(m, V::Set(kNearColour)), active);
      if (!V::Any(run)) break;
      F step[4][3];
      for (int i = 0; i < 4; ++i) {
        for (int c = 0; c < 3; ++c) {
          step[i][c] = V::Add(V::Mul(x[c], V::Set(kC4[i])),
                              V::Mul(y[c], V::Set(kD4[i])));
        }
      }
      F t = V::Div(V::Set(3.0f), m);
      for (int c = 0; c < 3; ++c) d[c] = V::Mul(d[c], t);

      F d2X = zero, d2Y = zero;
      F dX[3] = {zero, zero, zero}, dY[3] = {zero, zero, zero};
      for (int i = 0; i < 16; ++i) {
        F dot = Dot3(V::Sub(p[0][i], x[0]), V::Sub(p[1][i], x[1]),
                     V::Sub(p[2][i], x[2]), d[0], d[1], d[2]);
        F le0 = V::Le(dot, zero);
        F ge3 = V::Ge(dot, V::Set(3.0f));
        I s = V::ISelect(
            V::AsI(le0), V::ISet(0),
            V::ISelect(V::AsI(ge3), V::ISet(3),
                       V::Trunc(V::Add(dot, V::Set(0.5f)))));
        F e1 = V::AsF(V::IEq(s, V::ISet(1)));
        F e2 = V::AsF(V::IEq(s, V::ISet(2)));
        F e3 = V::AsF(V::IEq(s, V::ISet(3)));
        F cs = V::Select(e3, zero,
                         V::Select(e2, third, V::Select(e1, twoThirds, one)));
        F ds = V::Select(e3, one,
                         V::Select(e2, twoThirds, V::Select(e1, third, zero)));
        F cX = V::Mul(cs, eighth);
        F cY = V::Mul(ds, eighth);
        d2X = V::Add(d2X, V::Mul(cs, cX));
        d2Y = V::Add(d2Y, V::Mul(ds, cY));
        for (int c = 0; c < 3; ++c) {
          F chosen = V::Select(
              e3, step[3][c],
              V::Select(e2, step[2][c], V::Select(e1, step[1][c], step[0][c])));
          F diff = V::Sub(chosen, p[c][i]);
          dX[c] = V::Add(dX[c], V::Mul(diff, cX));
          dY[c] = V::Add(dY[c], V::Mul(diff, cY));
        }
      }
      F moveX = V::And(run, V::Gt(d2X, zero));
      F moveY = V::And(run, V::Gt(d2Y, zero));
      F fx = V::Div(V::Set(-1.0f), d2X);
      F fy = V::Div(V::Set(-1.0f), d2Y);
      F done = V::AllOnes();
      for (int c = 0; c < 3; ++c) {
        x[c] = V::Select(moveX, V::Add(V::Mul(dX[c], fx), x[c]), x[c]);
        y[c] = V::Select(moveY, V::Add(V::Mul(dY[c], fy), y[c]), y[c]);
        done = V::And(done, V::Lt(V::Mul(dX[c], dX[c]), V::Set(kStopColour)));
        done = V::And(done, V::Lt(V::Mul(dY[c], dY[c]), V::Set(kStopColour)));
      }
      active = V::AndNot(done, run);
    }
  }

  // c0, c1 and the 2-bit codes of each lane's colour half.
  static void EncodeColour(const BlockBatch& batch, int offset, I& c0, I& c1,
                           I& codes) {
    using namespace bc3;
    F p[3][16];
    for (int i = 0; i < 16; ++i) {
      p[0][i] = V::Mul(Quantise(V::Load(&batch.r[i][offset]), 31.0f, k31),
                       V::Set(kWeightR));
      p[1][i] = V::Mul(Quantise(V::Load(&batch.g[i][offset]), 63.0f, k63),
                       V::Set(kWeightG));
      p[2][i] = V::Mul(Quantise(V::Load(&batch.b[i][offset]), 31.0f, k31),
                       V::Set(kWeightB));
    }
    F x[3], y[3];
    FitColour(p, x, y);
    I wA = PackRgb565(V::Mul(x[0], V::Set(kInverseWeightR)),
                      V::Mul(x[1], V::Set(kInverseWeightG)),
                      V::Mul(x[2], V::Set(kInverseWeightB)));
    I wB = PackRgb565(V::Mul(y[0], V::Set(kInverseWeightR)),
                      V::Mul(y[1], V::Set(kInverseWeightG)),
                      V::Mul(y[2], V::Set(kInverseWeightB)));
    I same = V::IEq(wA, wB);
    F a[3], b[3];
    UnpackWeighted(wA, a);
    UnpackWeighted(wB, b);
    I greater = V::IGt(wA, wB);
    F greaterF = V::AsF(greater);
    c0 = V::ISelect(greater, wA, wB);
    c1 = V::ISelect(greater, wB, wA);
    F s0[3], d[3];
    for (int c = 0; c < 3; ++c) {
      s0[c] = V::Select(greaterF, a[c], b[c]);
      F s1 = V::Select(greaterF, b[c], a[c]);
      d[c] = V::Sub(s1, s0[c]);
    }
    F t = V::Div(V::Set(3.0f), Dot3(d[0], d[1], d[2], d[0], d[1], d[2]));
    for (int c = 0; c < 3; ++c) d[c] = V::Mul(d[c], t);

    const F zero = V::Set(0.0f);
    codes = V::ISet(0);
    for (int i = 0; i < 16; ++i) {
      F qr = V::Mul(V::Load(&batch.r[i][offset]), V::Set(kWeightR));
      F qg = V::Mul(V::Load(&batch.g[i][offset]), V::Set(kWeightG));
      F qb = V::Mul(V::Load(&batch.b[i][offset]), V::Set(kWeightB));
      F dot = Dot3(V::Sub(qr, s0[0]), V::Sub(qg, s0[1]), V::Sub(qb, s0[2]),
                   d[0], d[1], d[2]);
      I k = V::Trunc(V::Add(dot, V::Set(0.5f)));
      // Position 0, 1, 2, 3 along the line is code 0, 2, 3, 1.
      I ordered = V::ISelect(
          V::IEq(k, V::ISet(0)), V::ISet(0),
          V::ISelect(V::IEq(k, V::ISet(3)), V::ISet(1),
                     V::IAdd(k, V::ISet(1))));
      I code = V::ISelect(
          V::AsI(V::Le(dot, zero)), V::ISet(0),
          V::ISelect(V::AsI(V::Ge(dot, V::Set(3.0f))), V::ISet(1), ordered));
      codes = V::IOr(codes, V::IShl(code, 2 * i));
    }
    codes = V::IAndNot(same, codes);
  }

  static void FitAlpha(const F (&q)[16], F six, F& outX, F& outY) {
    using namespace bc3;
    const F one = V::Set(1.0f), zero = V::Set(0.0f);
    F fX8 = one, fY8 = zero, fX6 = one, fY6 = zero;
    for (int i = 0; i < 16; ++i) {
      fX8 = V::Select(V::Lt(q[i], fX8), q[i], fX8);
      fY8 = V::Select(V::Gt(q[i], fY8), q[i], fY8);
      fX6 = V::Select(V::And(V::Lt(q[i], fX6), V::Gt(q[i], zero)), q[i], fX6);
      fY6 = V::Select(V::And(V::Gt(q[i], fY6), V::Lt(q[i], one)), q[i], fY6);
    }
    fY6 = V::Select(V::Eq(fX6, fY6), one, fY6);
    F fX = V::Select(six, fX6, fX8);
    F fY = V::Select(six, fY6, fY8);
    const F n = V::Select(six, V::Set(5.0f), V::Set(7.0f));
    const I last = V::ISelect(V::AsI(six), V::ISet(5), V::ISet(7));
    // The weight tables of both modes side by side: entries 0 to 7 for
    // eight values, 8 to 13 for six.
    alignas(32) static constexpr float kC[16] = {
        kC8[0], kC8[1], kC8[2], kC8[3], kC8[4], kC8[5], kC8[6], kC8[7],
        kC6[0], kC6[1], kC6[2], kC6[3], kC6[4], kC6[5], 0.0f,   0.0f};
    alignas(32) static constexpr float kD[16] = {
        kD8[0], kD8[1], kD8[2], kD8[3], kD8[4], kD8[5], kD8[6], kD8[7],
        kD6[0], kD6[1], kD6[2], kD6[3], kD6[4], kD6[5], 0.0f,   0.0f};
    const I table = V::IAnd(V::AsI(six), V::ISet(8));

    F active = V::AllOnes();
    for (int round = 0; round < 8; ++round) {
      F span = V::Sub(fY, fX);
      F run = V::AndNot(V::Lt(span, V::Set(kNearAlpha)), active);
      if (!V::Any(run)) break;
      F scale = V::Div(n, span);
      F halfX = V::Mul(fX, V::Set(0.5f));
      F halfY = V::Mul(V::Add(fY, one), V::Set(0.5f));
      F dX = zero, dY = zero, d2X = zero, d2Y = zero;
      for (int i = 0; i < 16; ++i) {
        F d = V::Mul(V::Sub(q[i], fX), scale);
        F le0 = V::Le(d, zero);
        F geN = V::Ge(d, n);
        // In six-value mode, values near 0 and 1 have their own codes and
        // take no part.
        F skip = V::And(
            six, V::Or(V::And(le0, V::Le(q[i], halfX)),
                       V::AndNot(le0, V::And(geN, V::Ge(q[i], halfY)))));
        I s = V::ISelect(
            V::AsI(le0), V::ISet(0),
            V::ISelect(V::AsI(geN), last,
                       V::Trunc(V::Add(d, V::Set(0.5f)))));
        I index = V::IAdd(s, table);
        F c = V::Lookup16(kC, index);
        F w = V::Lookup16(kD, index);
        F diff = V::Sub(V::Add(V::Mul(c, fX), V::Mul(w, fY)), q[i]);
        dX = V::Add(dX, V::AndNot(skip, V::Mul(c, diff)));
        d2X = V::Add(d2X, V::AndNot(skip, V::Mul(c, c)));
        dY = V::Add(dY, V::AndNot(skip, V::Mul(w, diff)));
        d2Y = V::Add(d2Y, V::AndNot(skip, V::Mul(w, w)));
      }
      F nX = V::Select(V::Gt(d2X, zero), V::Sub(fX, V::Div(dX, d2X)), fX);
      F nY = V::Select(V::Gt(d2Y, zero), V::Sub(fY, V::Div(dY, d2Y)), fY);
      F swap = V::Lt(nY, nX);
      fX = V::Select(run, V::Select(swap, nY, nX), fX);
      fY = V::Select(run, V::Select(swap, nX, nY), fY);
      F done = V::And(V::Lt(V::Mul(dX, dX), V::Set(kStopAlpha)),
                      V::Lt(V::Mul(dY, dY), V::Set(kStopAlpha)));
      active = V::AndNot(done, run);
    }
    outX = Saturate(fX);
    outY = Saturate(fY);
  }

  static void Encode(const BlockBatch& batch, int offset,
                     std::uint8_t* const* destinations) {
    using namespace bc3;
    const F one = V::Set(1.0f), zero = V::Set(0.0f);
    F q[16];
    F minimum = V::Load(&batch.a[0][offset]);
    F maximum = minimum;
    for (int i = 0; i < 16; ++i)
      q[i] = Quantise(V::Load(&batch.a[i][offset]), 255.0f, k255);
    for (int i = 0; i < 16; ++i) {
      minimum = V::Select(V::Lt(q[i], minimum), q[i], minimum);
      maximum = V::Select(V::Gt(q[i], maximum), q[i], maximum);
    }

    I c0, c1, colourCodes;
    EncodeColour(batch, offset, c0, c1, colourCodes);

    F opaque = V::Eq(minimum, one);
    F six = V::Or(V::Eq(minimum, zero), V::Eq(maximum, one));
    F fX, fY;
    FitAlpha(q, six, fX, fY);
    I bA = V::IAnd(Round(fX, 255.0f), V::ISet(0xFF));
    I bB = V::IAnd(Round(fY, 255.0f), V::ISet(0xFF));
    F a = V::Mul(V::Float(bA), V::Set(k255));
    F b = V::Mul(V::Float(bB), V::Set(k255));
    I sixI = V::AsI(six);
    I flat = V::IAndNot(sixI, V::IEq(bA, bB));
    I byte0 = V::ISelect(sixI, bA, bB);
    I byte1 = V::ISelect(sixI, bB, bA);
    F s0 = V::Select(six, a, b);
    F s1 = V::Select(six, b, a);
    F n = V::Select(six, V::Set(5.0f), V::Set(7.0f));
    I last = V::ISelect(sixI, V::ISet(5), V::ISet(7));
    F scale = V::Select(V::Eq(s0, s1), zero, V::Div(n, V::Sub(s1, s0)));
    F halfS0 = V::Mul(s0, V::Set(0.5f));
    F halfS1 = V::Mul(V::Add(s1, one), V::Set(0.5f));
    I low = V::ISet(0), high = V::ISet(0);
    for (int i = 0; i < 16; ++i) {
      F value = V::Load(&batch.a[i][offset]);
      F d = V::Mul(V::Sub(value, s0), scale);
      I k = V::Trunc(V::Add(d, V::Set(0.5f)));
      // Position 0 is code 0, the last position code 1, the others k + 1.
      I ordered = V::ISelect(
          V::IEq(k, V::ISet(0)), V::ISet(0),
          V::ISelect(V::IEq(k, last), V::ISet(1), V::IAdd(k, V::ISet(1))));
      I atS0 = V::ISelect(V::AsI(V::And(six, V::Le(value, halfS0))),
                          V::ISet(6), V::ISet(0));
      I atS1 = V::ISelect(V::AsI(V::And(six, V::Ge(value, halfS1))),
                          V::ISet(7), V::ISet(1));
      I code = V::ISelect(
          V::AsI(V::Le(d, zero)), atS0,
          V::ISelect(V::AsI(V::Ge(d, n)), atS1, ordered));
      if (i < 8) {
        low = V::IOr(low, V::IShl(code, 3 * i));
      } else {
        high = V::IOr(high, V::IShl(code, 3 * (i - 8)));
      }
    }
    low = V::IAndNot(flat, low);
    high = V::IAndNot(flat, high);
    I opaqueI = V::AsI(opaque);
    byte0 = V::ISelect(opaqueI, V::ISet(255), byte0);
    byte1 = V::ISelect(opaqueI, V::ISet(255), byte1);
    low = V::IAndNot(opaqueI, low);
    high = V::IAndNot(opaqueI, high);

    alignas(32) std::int32_t out[7][kLanes];
    V::StoreI(out[0], byte0);
    V::StoreI(out[1], byte1);
    V::StoreI(out[2], low);
    V::StoreI(out[3], high);
    V::StoreI(out[4], c0);
    V::StoreI(out[5], c1);
    V::StoreI(out[6], colourCodes);
    for (int lane = 0; lane < kLanes; ++lane) {
      std::uint8_t* p = destinations[offset + lane];
      std::uint32_t lo = static_cast<std::uint32_t>(out[2][lane]);
      std::uint32_t hi = static_cast<std::uint32_t>(out[3][lane]);
      std::uint32_t w0 = static_cast<std::uint32_t>(out[4][lane]);
      std::uint32_t w1 = static_cast<std::uint32_t>(out[5][lane]);
      std::uint32_t cc = static_cast<std::uint32_t>(out[6][lane]);
      p[0] = static_cast<std::uint8_t>(out[0][lane]);
      p[1] = static_cast<std::uint8_t>(out[1][lane]);
      p[2] = static_cast<std::uint8_t>(lo);
      p[3] = static_cast<std::uint8_t>(lo >> 8);
      p[4] = static_cast<std::uint8_t>(lo >> 16);
      p[5] = static_cast<std::uint8_t>(hi);
      p[6] = static_cast<std::uint8_t>(hi >> 8);
      p[7] = static_cast<std::uint8_t>(hi >> 16);
      p[8] = static_cast<std::uint8_t>(w0);
      p[9] = static_cast<std::uint8_t>(w0 >> 8);
      p[10] = static_cast<std::uint8_t>(w1);
      p[11] = static_cast<std::uint8_t>(w1 >> 8);
      p[12] = static_cast<std::uint8_t>(cc);
      p[13] = static_cast<std::uint8_t>(cc >> 8);
      p[14] = static_cast<std::uint8_t>(cc >> 16);
      p[15] = static_cast<std::uint8_t>(cc >> 24);
    }
  }
};
